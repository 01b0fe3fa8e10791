// A form as the services fill it with text from replies and file names: its values, files and
// headers, sent in a character set of the caller's choice. The first line names the character
// set. When the second is "multipart" or "urlencoded", every further line is an entry:
//   key=value                              a value
//   file=key|file name|content type|bytes  bytes sent as a file
//   header=Name: value                     a request header
// where "\r", "\n" and "\\" stand for CR, LF and a backslash in file and header entries.
// With any other second line, the text after the first line is written in the character set.
#include "FuzzSupport.h"
#include "http/HTTPFormDataRequest.h"
#include "http/HTTPMessage.h"
#include "http/TextEncoding.h"

#include <QRegularExpression>

namespace {

struct Form
{
    QByteArray charset;
    int format = HTTPFormDataRequest::URLEncodedPostFormat;
    QList<HTTPFormDataRequest::PostValue> values;
    QList<HTTPFormDataRequest::FileData> files;
    QList<std::pair<QString, QString>> headers;
};

QString unescaped(const QString &text)
{
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\' || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        const QChar next = text[++i];
        result += next == u'r' ? QChar(u'\r') : next == u'n' ? QChar(u'\n') : next;
    }
    return result;
}

Form formFrom(const QByteArray &charset, const QString &format, const QStringList &lines)
{
    Form form;
    form.charset = charset;
    form.format = format == QLatin1String("multipart")
                      ? HTTPFormDataRequest::MultipartFormDataPostFormat
                      : HTTPFormDataRequest::URLEncodedPostFormat;
    for (const QString &line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        const QString key = line.left(equals);
        const QString rest = line.mid(equals + 1);
        if (key == QLatin1String("file")) {
            const QStringList fields = unescaped(rest).split(u'|');
            if (fields.size() < 3)
                continue;
            form.files.append({fields.mid(3).join(u'|').toUtf8(), fields[2], fields[1], fields[0]});
        } else if (key == QLatin1String("header")) {
            const qsizetype colon = rest.indexOf(QLatin1String(": "));
            if (colon > 0)
                form.headers.append({unescaped(rest.left(colon)), unescaped(rest.mid(colon + 2))});
        } else {
            form.values.append({key, rest});
        }
    }
    return form;
}

// Whether texts written one after another read back as both: true of every stateful
// character set but those that stay in the state a text leaves them in, such as SCSU.
bool endsTextsInFirstState(const QByteArray &charset)
{
    for (const QString &text : {QStringLiteral("\u6f22\u5b57\u0d0a\u6f22\u5b57"),
                                QStringLiteral("\u00e9\u0416"), QStringLiteral("\uac00")}) {
        const auto bytes = TextEncoding::encode(text, charset);
        const auto ascii = TextEncoding::encode(QStringLiteral("a"), charset);
        if (bytes && ascii && TextEncoding::decode(*bytes + *ascii, charset) != text + u'a')
            return false;
    }
    return true;
}

void checkText(const QString &text, const QByteArray &charset)
{
    const std::optional<QByteArray> bytes = TextEncoding::encode(text, charset);
    if (TextEncoding::isKnown(charset))
        FUZZ_CHECK(TextEncoding::encode(QString(), charset) == QByteArray(),
                   "a known character set does not take empty text");
    if (!bytes)
        return;
    FUZZ_CHECK(TextEncoding::decode(*bytes, charset) == text,
               "text written in a character set reads back otherwise");
    if (endsTextsInFirstState(charset))
        FUZZ_CHECK(TextEncoding::decode(*bytes + *bytes, charset) == text + text,
                   "a text written in a stateful character set does not end in its first state");
}

QByteArray bodyOf(const HTTPFormDataRequest &request)
{
    if (const auto body = request.postBody())
        return *body;
    return request.postBodyFilePath().isEmpty() ? QByteArray()
                                                : Fuzz::readFile(request.postBodyFilePath());
}

// Every header can go on the wire, or the request would fail; a head that goes out has one
// line per header and no more.
void checkHead(const HTTPFormDataRequest &request, const Form &form)
{
    auto message = HTTPMessage::create("POST", request.url(), "HTTP/1.1");
    FUZZ_CHECK(message.has_value());
    const auto headers = request.requestHeaders().value_or(QMap<QString, QString>());
    for (auto it = headers.cbegin(); it != headers.cend(); ++it) {
        if (!message->setHeader(it.key().toLatin1(), it.value().toUtf8())) {
            const bool caller =
                std::any_of(form.headers.begin(), form.headers.end(),
                            [&](const auto &header) { return header.first == it.key(); });
            FUZZ_CHECK(caller, "a header the form wrote itself cannot be sent");
            return;
        }
    }
    const QByteArray head = message->serializedHead(false);
    FUZZ_CHECK(head.count("\r\n") == message->headers().size() + 3 &&
                   head.count('\n') == head.count("\r\n") && head.count('\r') == head.count("\r\n"),
               "a header value split the request head");
}

bool holdsControl(const QString &text)
{
    return !HTTPMessage::isFieldValue(text.toUtf8());
}

// Whether the character set writes ASCII as ASCII, after any other text too. Those that do
// not (UTF-16, UTF-7, SCSU, ISO-2022-KR...) make multipart bodies no server can split, and
// SCSU can put CR LF into a part's head; the form takes them all the same.
bool keepsAsciiAsAscii(const QByteArray &charset)
{
    static const QString ascii = QStringLiteral("\"\r\n--0xKhTmLbOuNdArY\r\n");
    if (TextEncoding::encode(ascii, charset) != ascii.toLatin1())
        return false;
    for (const QString &text : {QStringLiteral("\u6f22\u5b57\u0d0a\u6f22\u5b57"),
                                QStringLiteral("\u00e9"), QStringLiteral("\u0416")}) {
        const auto alone = TextEncoding::encode(text, charset);
        if (alone && TextEncoding::encode(text + ascii, charset) != *alone + ascii.toLatin1())
            return false;
    }
    return true;
}

// A body as a server splits it: at the boundary lines, each part's head at its first blank
// line. Only for character sets that write the boundary and the part heads as ASCII.
void checkMultipart(const QByteArray &body, const QByteArray &boundary, const Form &form)
{
    const QByteArray first = "--" + boundary + "\r\n";
    const QByteArray last = "\r\n--" + boundary + "--\r\n";
    FUZZ_CHECK(body.startsWith(first) && body.endsWith(last), "a multipart body is not framed");
    const qsizetype parts = form.values.size() + form.files.size();
    FUZZ_CHECK(body.count("--" + boundary) == parts + 1,
               "the boundary occurs in a part: a value or file could forge a part");
    QByteArray rest = body.mid(first.size(), body.size() - first.size() - last.size());
    const QByteArray separator = "\r\n--" + boundary + "\r\n";
    for (qsizetype i = 0; i < parts; ++i) {
        const qsizetype end = i + 1 < parts ? rest.indexOf(separator) : rest.size();
        FUZZ_CHECK(end >= 0, "a multipart body has fewer parts than the form");
        const QByteArray part = rest.left(end);
        rest = rest.mid(end + separator.size());
        const qsizetype blank = part.indexOf("\r\n\r\n");
        FUZZ_CHECK(blank >= 0, "a part has no head");
        const QByteArray head = part.left(blank);
        const bool isFile = i >= form.values.size();
        FUZZ_CHECK(head.count('\n') == (isFile ? 1 : 0) && head.count('\r') == head.count('\n'),
                   "a part's head has lines the form did not write");
        FUZZ_CHECK(head.startsWith("Content-Disposition: form-data; name=\""),
                   "a part's head does not start with its disposition");
        const QByteArray data = part.mid(blank + 4);
        if (isFile) {
            const HTTPFormDataRequest::FileData &file = form.files[i - form.values.size()];
            FUZZ_CHECK(data == std::get<QByteArray>(file.data), "a file went out altered");
        } else {
            const QString &value = form.values[i].value;
            if (TextEncoding::encode(value, form.charset))
                FUZZ_CHECK(TextEncoding::decode(data, form.charset) == value,
                           "a value went out altered");
        }
    }
}

void checkUrlEncoded(const QByteArray &body, const Form &form)
{
    const std::optional<QString> text = TextEncoding::decode(body, form.charset);
    FUZZ_CHECK(text.has_value(), "a URL-encoded body cannot be read in its own character set");
    static const QRegularExpression escaped(QStringLiteral("^[A-Za-z0-9._%=&-]*$"));
    FUZZ_CHECK(text->contains(escaped), "a URL-encoded body holds a character left unescaped");
    const QStringList pairs = text->split(u'&');
    FUZZ_CHECK(pairs.size() == form.values.size(), "a URL-encoded body has other pairs");
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        const QStringList sides = pairs[i].split(u'=');
        FUZZ_CHECK(sides.size() == 2, "a URL-encoded pair is not split once by '='");
        const HTTPFormDataRequest::PostValue &original = form.values[i];
        const QString sent[] = {original.key, original.value};
        for (int side = 0; side < 2; ++side) {
            const auto read = TextEncoding::decode(
                QByteArray::fromPercentEncoding(sides[side].toLatin1()), form.charset);
            // Text the character set cannot carry is sent empty.
            FUZZ_CHECK(read == sent[side] ||
                           (read == QString() && !TextEncoding::encode(sent[side], form.charset)),
                       "a URL-encoded key or value reads back otherwise");
        }
    }
}

void checkForm(const Form &form)
{
    auto request =
        HTTPFormDataRequest::requestWithURL(QUrl(QStringLiteral("http://127.0.0.1:9/form")));
    request->setStringEncoding(form.charset);
    request->setPostFormat(form.format);
    for (const HTTPFormDataRequest::PostValue &value : form.values)
        request->addPostValue(value.value, value.key);
    for (const HTTPFormDataRequest::FileData &file : form.files)
        request->addData(std::get<QByteArray>(file.data), file.fileName, file.contentType,
                         file.key);
    for (const auto &[name, value] : form.headers)
        request->addRequestHeader(name, value);

    // As the engine builds it before the first send.
    const bool built = static_cast<HTTPRequest &>(*request).buildPostBody();
    const bool multipart =
        !form.files.isEmpty() || form.format == HTTPFormDataRequest::MultipartFormDataPostFormat;
    const bool empty = form.values.isEmpty() && form.files.isEmpty();
    bool refused = !empty && !TextEncoding::isKnown(form.charset);
    if (multipart && !refused) {
        for (const auto &value : form.values)
            refused = refused || holdsControl(value.key);
        for (const auto &file : form.files)
            refused = refused || holdsControl(file.key) || holdsControl(file.fileName) ||
                      holdsControl(file.contentType);
    }
    FUZZ_CHECK(built != refused, "a form was refused without cause, or sent with one");
    FUZZ_CHECK(built == request->error().isNull(),
               "a refused form holds no error, or a built one does");
    if (!built || empty)
        return;
    checkHead(*request, form);

    const QByteArray body = bodyOf(*request);
    FUZZ_CHECK(quint64(body.size()) == request->postLength(), "the body's length is not its size");
    if (!multipart) {
        checkUrlEncoded(body, form);
        return;
    }
    static const QRegularExpression boundaryParameter(QStringLiteral("; boundary=(.+)$"));
    const QString contentType = request->requestHeaders()->value(QStringLiteral("Content-Type"));
    const QString boundary = boundaryParameter.match(contentType).captured(1);
    FUZZ_CHECK(!boundary.isEmpty(), "a multipart form names no boundary");
    if (keepsAsciiAsAscii(form.charset))
        checkMultipart(body, boundary.toLatin1(), form);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::ownTemporaryFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QString> text = Fuzz::text(data, size);
    if (!text)
        return 0;
    const QString &input = *text;
    const qsizetype newline = input.indexOf(u'\n');
    if (newline < 0)
        return 0;
    const QByteArray charset = input.left(newline).toLatin1();
    QStringList lines = input.mid(newline + 1).split(u'\n');
    const QString format = lines.takeFirst();
    if (format != QLatin1String("multipart") && format != QLatin1String("urlencoded")) {
        checkText(input.mid(newline + 1), charset);
        return 0;
    }

    checkForm(formFrom(charset, format, lines));
    FUZZ_CHECK(Fuzz::entriesBelow(Fuzz::ownTemporaryFolder()).isEmpty(),
               "a form left a file in the temporary folder");
    return 0;
}
