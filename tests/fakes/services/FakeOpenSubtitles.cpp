#include "fakes/services/FakeOpenSubtitles.h"

#include "fakes/services/Compression.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <pugixml.hpp>

namespace Fakes {

namespace {

// Decodes a request value keeping its wire type: "string", "int", "double", "boolean",
// "array", "struct" (untyped text counts as a string). An array keeps its items' types too.
struct Typed
{
    QString type;
    QVariant value;
    QStringList itemTypes;
};

// Text as sent, a leading U+FEFF included.
QString textOf(pugi::xml_node node)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return utf8(QByteArrayView(node.text().get()));
}

Typed decode(pugi::xml_node value)
{
    pugi::xml_node typed = value.first_child();
    while (typed && typed.type() != pugi::node_element)
        typed = typed.next_sibling();
    if (!typed)
        return {QStringLiteral("string"), textOf(value), {}};
    const QString type = QString::fromUtf8(typed.name());
    const QString text = textOf(typed);
    if (type == QLatin1String("array")) {
        QVariantList items;
        QStringList itemTypes;
        for (pugi::xml_node item : typed.child("data").children("value")) {
            const Typed inner = decode(item);
            items.append(inner.value);
            itemTypes.append(inner.type);
        }
        return {type, items, itemTypes};
    }
    if (type == QLatin1String("struct")) {
        QVariantMap members;
        for (pugi::xml_node member : typed.children("member")) {
            const Typed inner = decode(member.child("value"));
            members.insert(textOf(member.child("name")), QVariantList{inner.type, inner.value});
        }
        return {type, members, {}};
    }
    if (type == QLatin1String("i4") || type == QLatin1String("i8"))
        return {QStringLiteral("int"), text.toLongLong(), {}};
    if (type == QLatin1String("int"))
        return {type, text.toLongLong(), {}};
    if (type == QLatin1String("double"))
        return {type, text.toDouble(), {}};
    if (type == QLatin1String("boolean"))
        return {type, text == QLatin1String("1"), {}};
    return {type, text, {}};
}

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QByteArray str(const QString &text)
{
    return "<value><string>" + escaped(text).toUtf8() + "</string></value>";
}

QByteArray member(const QByteArray &name, const QByteArray &value)
{
    return "<member><name>" + name + "</name>" + value + "</member>";
}

QByteArray structOf(const QByteArray &members)
{
    return "<value><struct>" + members + "</struct></value>";
}

QByteArray arrayOf(const QByteArray &values)
{
    return "<value><array><data>" + values + "</data></array></value>";
}

const QByteArray Seconds = member("seconds", "<value><double>0.005</double></value>");

QByteArray methodResponse(const QByteArray &value)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><methodResponse><params><param>" + value +
           "</param></params></methodResponse>";
}

QByteArray status(const QByteArray &text)
{
    return member("status", str(QString::fromUtf8(text)));
}

QByteArray subtitleStruct(const FakeOpenSubtitles::Subtitle &s, quint16 port)
{
    QByteArray members =
        member("IDSubtitleFile", str(s.id)) + member("SubFileName", str(s.fileName)) +
        member("SubLanguageID", str(s.language)) + member("SubFormat", str(QStringLiteral("srt"))) +
        member("MovieHash", str(s.movieHash)) + member("MovieName", str(s.movieName));
    if (s.movieYear)
        members += member("MovieYear", str(*s.movieYear));
    members += member("MovieReleaseName", str(s.releaseName)) + member("IDMovieImdb", str(s.imdb)) +
               member("ZipDownloadLink",
                      str(QStringLiteral("http://127.0.0.1:%1/dl/%2.zip").arg(port).arg(s.id)));
    return structOf(members);
}

} // namespace

QVariant FakeOpenSubtitles::Call::queryField(int index, const QString &member) const
{
    const QVariantList queries = params.value(1).toList().value(1).toList();
    return queries.value(index).toMap().value(member).toList().value(1);
}

FakeOpenSubtitles::FakeOpenSubtitles()
    : m_server([this](const FakeRequest &request) { return handle(request); })
{
    m_accounts.insert(QString(), QString());
}

QUrl FakeOpenSubtitles::endpoint() const
{
    return m_server.url(QStringLiteral("/xml-rpc"));
}

void FakeOpenSubtitles::addAccount(const QString &user, const QString &password)
{
    QMutexLocker lock(&m_mutex);
    m_accounts.insert(user, password);
}

void FakeOpenSubtitles::addByHash(const QString &hash, const Subtitle &subtitle)
{
    QMutexLocker lock(&m_mutex);
    m_byHash[hash].append(subtitle);
}

void FakeOpenSubtitles::addByImdb(const QString &imdb, const Subtitle &subtitle)
{
    QMutexLocker lock(&m_mutex);
    m_byImdb[imdb].append(subtitle);
}

void FakeOpenSubtitles::addByQuery(const QString &query, const Subtitle &subtitle)
{
    QMutexLocker lock(&m_mutex);
    m_byQuery[query].append(subtitle);
}

void FakeOpenSubtitles::addMovie(const QString &hash, const QString &imdb)
{
    QMutexLocker lock(&m_mutex);
    m_movies.insert(hash, imdb);
}

void FakeOpenSubtitles::addDownload(const QString &id, const QByteArray &content)
{
    QMutexLocker lock(&m_mutex);
    m_downloads.insert(id, content);
}

void FakeOpenSubtitles::setLoginReply(LoginReply reply)
{
    QMutexLocker lock(&m_mutex);
    m_loginReply = reply;
}

void FakeOpenSubtitles::setFailure(const QString &method, Failure failure)
{
    QMutexLocker lock(&m_mutex);
    m_failures.insert(method, failure);
}

void FakeOpenSubtitles::setDownloadCallFailure(int call, Failure failure)
{
    QMutexLocker lock(&m_mutex);
    m_downloadCallFailure = {call, failure};
}

void FakeOpenSubtitles::expireSessions()
{
    QMutexLocker lock(&m_mutex);
    m_sessions.clear();
}

QList<FakeOpenSubtitles::Call> FakeOpenSubtitles::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

QStringList FakeOpenSubtitles::methods() const
{
    QStringList names;
    for (const Call &call : calls())
        names.append(call.method);
    return names;
}

QStringList FakeOpenSubtitles::violations() const
{
    QMutexLocker lock(&m_mutex);
    return m_violations;
}

void FakeOpenSubtitles::violation(const QString &text)
{
    m_violations.append(text);
}

FakeResponse FakeOpenSubtitles::handle(const FakeRequest &request)
{
    QMutexLocker lock(&m_mutex);
    if (request.path() != "/xml-rpc")
        return FakeResponse::html("<html><body>Not Found</body></html>", 404);
    if (request.method != "POST")
        violation(QStringLiteral("method %1").arg(QString::fromLatin1(request.method)));
    if (!request.header("Content-Type").startsWith("text/xml"))
        violation(QStringLiteral("content type %1")
                      .arg(QString::fromLatin1(request.header("Content-Type"))));
    pugi::xml_document document;
    if (!document.load_buffer(request.body.constData(), request.body.size(),
                              pugi::parse_default | pugi::parse_ws_pcdata_single)) {
        violation(QStringLiteral("a request that is not XML"));
        return FakeResponse::html("<html>Bad Request</html>", 400);
    }
    const pugi::xml_node root = document.child("methodCall");
    Call call{QString::fromUtf8(root.child("methodName").text().get()), {}};
    for (pugi::xml_node param : root.child("params").children("param")) {
        const Typed typed = decode(param.child("value"));
        call.params.append(QVariant(QVariantList{typed.type, typed.value, typed.itemTypes}));
    }
    m_calls.append(call);

    switch (m_failures.value(call.method, Failure::None)) {
    case Failure::Fault:
        return FakeResponse::xml("<?xml version=\"1.0\"?><methodResponse><fault><value><struct>" +
                                 member("faultCode", "<value><int>503</int></value>") +
                                 member("faultString", str(QStringLiteral("Service Unavailable"))) +
                                 "</struct></value></fault></methodResponse>");
    case Failure::Html:
        return FakeResponse::html("<!DOCTYPE html><html><body>502 Bad Gateway</body></html>");
    case Failure::Stall:
        return FakeResponse::stall();
    case Failure::DeepNesting: {
        constexpr int Levels = 30000;
        const QByteArray open = "<value><array><data>";
        const QByteArray close = "</data></array></value>";
        return FakeResponse::xml("<?xml version=\"1.0\"?><methodResponse><params><param>" +
                                 open.repeated(Levels) + close.repeated(Levels) +
                                 "</param></params></methodResponse>");
    }
    default:
        break;
    }
    return FakeResponse::xml(answer(call));
}

bool FakeOpenSubtitles::expectParams(const Call &call, int count)
{
    if (call.params.size() == count)
        return true;
    violation(QStringLiteral("%1 with %2 parameters").arg(call.method).arg(call.params.size()));
    return false;
}

void FakeOpenSubtitles::expectArrayOf(const QString &method, const QVariant &param,
                                      const QString &itemType)
{
    const QVariantList typed = param.toList();
    if (typed.value(0) != QLatin1String("array"))
        violation(QStringLiteral("%1 without an array").arg(method));
    for (const QString &type : typed.value(2).toStringList()) {
        if (type != itemType)
            violation(QStringLiteral("%1 with an array item of type %2").arg(method, type));
    }
}

void FakeOpenSubtitles::expectMember(const QVariantMap &members, const QString &name,
                                     const QString &type)
{
    const QString sent = members.value(name).toList().value(0).toString();
    if (sent != type)
        violation(QStringLiteral("%1 sent as %2, not as %3").arg(name, sent, type));
}

QByteArray FakeOpenSubtitles::answer(const Call &call)
{
    if (call.method == QLatin1String("LogIn"))
        return logIn(call.params);
    const QVariantList token = call.params.value(0).toList();
    if (token.value(0) != QLatin1String("string"))
        violation(QStringLiteral("%1 without a token").arg(call.method));
    if (!m_sessions.contains(token.value(1).toString()))
        return methodResponse(structOf(status("406 No session") + Seconds));
    if (call.method == QLatin1String("LogOut")) {
        expectParams(call, 1);
        m_sessions.remove(token.value(1).toString());
        return methodResponse(structOf(status("200 OK") + Seconds));
    }
    if (call.method == QLatin1String("SearchSubtitles"))
        return expectParams(call, 2) ? searchSubtitles(call.params) : QByteArray();
    if (call.method == QLatin1String("CheckMovieHash"))
        return expectParams(call, 2) ? checkMovieHash(call.params) : QByteArray();
    if (call.method == QLatin1String("DownloadSubtitles"))
        return expectParams(call, 2) ? downloadSubtitles(call.params) : QByteArray();
    if (call.method == QLatin1String("NoOperation")) {
        expectParams(call, 1);
        return methodResponse(structOf(status("200 OK") + Seconds));
    }
    if (call.method == QLatin1String("ServerInfo")) {
        expectParams(call, 1);
        return methodResponse(structOf(member("xmlrpc_version", str(QStringLiteral("0.1"))) +
                                       member("application", str(QStringLiteral("fake"))) +
                                       Seconds));
    }
    violation(QStringLiteral("unknown method %1").arg(call.method));
    return {};
}

QByteArray FakeOpenSubtitles::logIn(const QVariantList &params)
{
    if (params.size() != 4)
        violation(QStringLiteral("LogIn with %1 parameters").arg(params.size()));
    for (const QVariant &param : params) {
        if (param.toList().value(0) != QLatin1String("string"))
            violation(QStringLiteral("LogIn with a parameter that is not a string"));
    }
    if (params.value(2).toList().value(1) != QLatin1String("en") ||
        params.value(3).toList().value(1) != QLatin1String("qalmir v1"))
        violation(QStringLiteral("LogIn with a wrong language or client"));
    const QString user = params.value(0).toList().value(1).toString();
    const QString password = params.value(1).toList().value(1).toString();
    const bool accepted = m_accounts.contains(user) && m_accounts.value(user) == password;
    const QString token = QStringLiteral("tok-%1").arg(++m_tokenCounter, 4, 10, QChar(u'0'));

    if (m_loginReply == LoginReply::NoStatus)
        return methodResponse(structOf(member("token", str(token)) + Seconds));
    if (m_loginReply == LoginReply::OkWithoutToken)
        return methodResponse(structOf(status("200 OK") + Seconds));
    if (!accepted || m_loginReply == LoginReply::RefusedEmptyToken)
        return methodResponse(
            structOf(member("token", str(QString())) + status("401 Unauthorized") + Seconds));
    if (m_loginReply == LoginReply::RefusedNoToken)
        return methodResponse(structOf(status("401 Unauthorized") + Seconds));
    m_sessions.insert(token);
    return methodResponse(structOf(member("token", str(token)) + status("200 OK") + Seconds));
}

QByteArray FakeOpenSubtitles::searchSubtitles(const QVariantList &params)
{
    const QVariantList queries = params.value(1).toList();
    expectArrayOf(QStringLiteral("SearchSubtitles"), params.value(1), QStringLiteral("struct"));
    QByteArray found;
    for (const QVariant &query : queries.value(1).toList()) {
        const QVariantMap members = query.toMap();
        const auto field = [&](const char *name) {
            return members.value(QString::fromLatin1(name)).toList();
        };
        const QVariantList languages = field("sublanguageid");
        if (languages.value(0) != QLatin1String("string") ||
            languages.value(1).toString().contains(u' '))
            violation(QStringLiteral("sublanguageid %1").arg(languages.value(1).toString()));
        const QStringList wanted = languages.value(1).toString().split(u',');
        QList<Subtitle> candidates;
        if (members.contains(QStringLiteral("moviehash"))) {
            static const QRegularExpression decimal(QStringLiteral("^[0-9]+$"));
            if (members.size() != 3)
                violation(QStringLiteral("a hash query with %1 members").arg(members.size()));
            expectMember(members, QStringLiteral("moviehash"), QStringLiteral("string"));
            expectMember(members, QStringLiteral("moviebytesize"), QStringLiteral("string"));
            if (!decimal.match(field("moviebytesize").value(1).toString()).hasMatch())
                violation(QStringLiteral("moviebytesize \"%1\"")
                              .arg(field("moviebytesize").value(1).toString()));
            candidates = m_byHash.value(field("moviehash").value(1).toString());
        } else if (members.contains(QStringLiteral("imdbid"))) {
            if (members.size() != 2)
                violation(QStringLiteral("an IMDB query with %1 members").arg(members.size()));
            expectMember(members, QStringLiteral("imdbid"), QStringLiteral("int"));
            candidates = m_byImdb.value(field("imdbid").value(1).toString());
        } else if (members.contains(QStringLiteral("query"))) {
            if (members.size() != 2)
                violation(QStringLiteral("a name query with %1 members").arg(members.size()));
            expectMember(members, QStringLiteral("query"), QStringLiteral("string"));
            candidates = m_byQuery.value(field("query").value(1).toString());
        } else {
            violation(QStringLiteral("a query of no known kind"));
        }
        for (const Subtitle &subtitle : std::as_const(candidates)) {
            if (wanted.contains(subtitle.language))
                found += subtitleStruct(subtitle, m_server.port());
        }
    }
    switch (m_failures.value(QStringLiteral("SearchSubtitles"), Failure::None)) {
    case Failure::DataMissing:
        return methodResponse(structOf(status("200 OK") + Seconds));
    case Failure::EmptyArray:
        return methodResponse(structOf(status("200 OK") + member("data", arrayOf({})) + Seconds));
    case Failure::NonStructEntry: {
        const qsizetype cut = found.indexOf("<value><struct>", 1);
        if (cut > 0)
            found.insert(cut, str(QStringLiteral("oops")));
        break;
    }
    default:
        break;
    }
    const QByteArray data =
        found.isEmpty() ? QByteArray("<value><boolean>0</boolean></value>") : arrayOf(found);
    return methodResponse(structOf(status("200 OK") + member("data", data) + Seconds));
}

QByteArray FakeOpenSubtitles::checkMovieHash(const QVariantList &params)
{
    expectArrayOf(QStringLiteral("CheckMovieHash"), params.value(1), QStringLiteral("string"));
    QByteArray members;
    for (const QVariant &hash : params.value(1).toList().value(1).toList()) {
        const QString text = hash.toString();
        static const QRegularExpression movieHash(QStringLiteral("^[0-9a-f]{0,16}$"));
        if (!movieHash.match(text).hasMatch())
            violation(QStringLiteral("CheckMovieHash with \"%1\"").arg(text));
        const QByteArray name = escaped(text).toUtf8();
        if (!m_movies.contains(text)) {
            members += member(name, arrayOf({}));
            continue;
        }
        members += member(name, structOf(member("MovieHash", str(text)) +
                                         member("MovieImdbID", str(m_movies.value(text))) +
                                         member("MovieName", str(QStringLiteral("Movie"))) +
                                         member("MovieYear", str(QStringLiteral("1999")))));
    }
    return methodResponse(structOf(status("200 OK") + member("data", structOf(members)) + Seconds));
}

QByteArray FakeOpenSubtitles::downloadSubtitles(const QVariantList &params)
{
    expectArrayOf(QStringLiteral("DownloadSubtitles"), params.value(1), QStringLiteral("string"));
    const QVariantList ids = params.value(1).toList().value(1).toList();
    if (ids.size() > 30)
        violation(QStringLiteral("DownloadSubtitles with %1 ids").arg(ids.size()));
    Failure failure = m_failures.value(QStringLiteral("DownloadSubtitles"), Failure::None);
    if (++m_downloadCalls == m_downloadCallFailure.first)
        failure = m_downloadCallFailure.second;
    if (failure == Failure::LimitReached)
        return methodResponse(structOf(status("407 Download limit reached") + Seconds));
    QByteArray entries;
    for (const QVariant &id : ids) {
        if (!m_downloads.contains(id.toString()))
            continue;
        const QByteArray packed = compress(m_downloads.value(id.toString()), 31).toBase64();
        entries += structOf(member("idsubtitlefile", str(id.toString())) +
                            member("data", failure == Failure::Base64Data
                                               ? "<value><base64>" + packed + "</base64></value>"
                                               : str(QString::fromLatin1(packed))));
        if (failure == Failure::NonStructEntry)
            entries += str(QStringLiteral("oops"));
    }
    const QByteArray data = failure == Failure::DataStruct ? structOf({}) : arrayOf(entries);
    return methodResponse(structOf(status("200 OK") + member("data", data) + Seconds));
}

} // namespace Fakes
