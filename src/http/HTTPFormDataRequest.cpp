#include "http/HTTPFormDataRequest.h"

#include "http/HTTPMessage.h"
#include "http/HTTPRequestError.h"
#include "http/HTTPUtilities.h"
#include "http/TextEncoding.h"

#include "platform/Logging.h"
#include "platform/PathUtilities.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace {

constexpr qint64 ScanBlock = 262144;

QString descriptionOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return value.toString();
}

// A quote in a name would end its quoted text early.
QString headerText(QString text)
{
    return text.replace(u'"', QLatin1String("%22"));
}

// A control character in a part's head could end the line and start another; such a part is
// refused, not mended.
Error refusedPartHead(const QList<HTTPFormDataRequest::PostValue> &values,
                      const QList<HTTPFormDataRequest::FileData> &files)
{
    const auto refuse = [](const QString &field, qsizetype part) {
        return HTTPRequestError::withText(
            HTTPRequestError::InternalErrorWhileBuildingRequest,
            HTTPRequest::tr("The %1 of form part %2 holds a control character")
                .arg(field)
                .arg(part));
    };
    const auto sendable = [](const QString &text) {
        return HTTPMessage::isFieldValue(text.toUtf8());
    };
    qsizetype part = 0;
    for (const HTTPFormDataRequest::PostValue &value : values) {
        ++part;
        if (!sendable(value.key))
            return refuse(HTTPRequest::tr("name"), part);
    }
    for (const HTTPFormDataRequest::FileData &file : files) {
        ++part;
        if (!sendable(file.key))
            return refuse(HTTPRequest::tr("name"), part);
        if (!sendable(file.fileName))
            return refuse(HTTPRequest::tr("file name"), part);
        if (!sendable(file.contentType))
            return refuse(HTTPRequest::tr("content type"), part);
    }
    return {};
}

bool fileContains(const QString &path, const QByteArray &needle)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray window;
    for (;;) {
        const QByteArray block = file.read(ScanBlock);
        if (block.isEmpty())
            return false;
        window += block;
        if (window.contains(needle))
            return true;
        window = window.right(needle.size() - 1);
    }
}

bool partContains(const HTTPFormDataRequest::FileData &entry, const QByteArray &needle)
{
    if (const auto *path = std::get_if<QString>(&entry.data))
        return fileContains(*path, needle);
    return std::get<QByteArray>(entry.data).contains(needle);
}

Error noFileAt(const QString &path)
{
    return HTTPRequestError::withText(HTTPRequestError::InternalErrorWhileBuildingRequest,
                                      HTTPRequest::tr("No file exists at %1").arg(path));
}

} // namespace

std::shared_ptr<HTTPFormDataRequest> HTTPFormDataRequest::requestWithURL(const QUrl &url)
{
    return std::make_shared<HTTPFormDataRequest>(url);
}

HTTPFormDataRequest::HTTPFormDataRequest(const QUrl &url)
    : HTTPRequest(url), m_stringEncoding(TextEncoding::UTF8)
{}

// Values.

void HTTPFormDataRequest::addPostValue(const QVariant &value, const QString &key)
{
    QMutexLocker lock(&m_formLock);
    m_postData.append({key, descriptionOf(value)});
}

void HTTPFormDataRequest::setPostValue(const QVariant &value, const QString &key)
{
    QMutexLocker lock(&m_formLock);
    m_postData.removeIf([&key](const PostValue &entry) { return entry.key == key; });
    m_postData.append({key, descriptionOf(value)});
}

// Files.

void HTTPFormDataRequest::addFile(const QString &path, const QString &key)
{
    addFile(path, QString(), QString(), key);
}

void HTTPFormDataRequest::addFile(const QString &path, const QString &fileName,
                                  const QString &contentType, const QString &key)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        failWithError(noFileAt(path));
    appendFileData({path,
                    contentType.isNull() ? HTTPUtilities::mimeTypeForFileAtPath(path) : contentType,
                    fileName.isNull() ? PathUtilities::lastPathComponent(path) : fileName, key});
}

void HTTPFormDataRequest::setFile(const QString &path, const QString &key)
{
    setFile(path, QString(), QString(), key);
}

void HTTPFormDataRequest::setFile(const QString &path, const QString &fileName,
                                  const QString &contentType, const QString &key)
{
    removeFileData(key);
    addFile(path, fileName, contentType, key);
}

void HTTPFormDataRequest::addData(const QByteArray &data, const QString &key)
{
    addData(data, QStringLiteral("file"), QString(), key);
}

void HTTPFormDataRequest::addData(const QByteArray &data, const QString &fileName,
                                  const QString &contentType, const QString &key)
{
    appendFileData({data,
                    contentType.isNull() ? QStringLiteral("application/octet-stream") : contentType,
                    fileName, key});
}

void HTTPFormDataRequest::setData(const QByteArray &data, const QString &key)
{
    setData(data, QStringLiteral("file"), QString(), key);
}

void HTTPFormDataRequest::setData(const QByteArray &data, const QString &fileName,
                                  const QString &contentType, const QString &key)
{
    removeFileData(key);
    addData(data, fileName, contentType, key);
}

void HTTPFormDataRequest::appendFileData(FileData entry)
{
    QMutexLocker lock(&m_formLock);
    m_fileData.append(std::move(entry));
}

void HTTPFormDataRequest::removeFileData(const QString &key)
{
    QMutexLocker lock(&m_formLock);
    m_fileData.removeIf([&key](const FileData &entry) { return entry.key == key; });
}

// Properties.

QList<HTTPFormDataRequest::PostValue> HTTPFormDataRequest::postData() const
{
    QMutexLocker lock(&m_formLock);
    return m_postData;
}

QList<HTTPFormDataRequest::FileData> HTTPFormDataRequest::fileData() const
{
    QMutexLocker lock(&m_formLock);
    return m_fileData;
}

int HTTPFormDataRequest::postFormat() const
{
    QMutexLocker lock(&m_formLock);
    return m_postFormat;
}

void HTTPFormDataRequest::setPostFormat(int format)
{
    QMutexLocker lock(&m_formLock);
    m_postFormat = format;
}

QByteArray HTTPFormDataRequest::stringEncoding() const
{
    QMutexLocker lock(&m_formLock);
    return m_stringEncoding;
}

void HTTPFormDataRequest::setStringEncoding(const QByteArray &encoding)
{
    QMutexLocker lock(&m_formLock);
    m_stringEncoding = encoding;
}

QString HTTPFormDataRequest::charsetName() const
{
    return QString::fromLatin1(stringEncoding());
}

// Text.

QString HTTPFormDataRequest::encodeURL(const QString &string) const
{
    const std::optional<QByteArray> bytes = TextEncoding::encode(string, stringEncoding());
    if (!bytes) {
        qCWarning(lcHttp) << "A form value cannot be written in" << charsetName()
                          << "and is sent empty";
        return QString();
    }
    return QString::fromLatin1(bytes->toPercentEncoding(QByteArray(), QByteArrayLiteral("~")));
}

void HTTPFormDataRequest::appendPostString(const QString &string)
{
    const QByteArray encoding = stringEncoding();
    if (const std::optional<QByteArray> bytes = TextEncoding::encode(string, encoding)) {
        appendPostData(*bytes);
        return;
    }
    qCWarning(lcHttp) << "Form text cannot be written in" << charsetName()
                      << "and is sent with substitutes";
    appendPostData(
        TextEncoding::encode(string, encoding, TextEncoding::Unmappable::Substitute).value_or(""));
}

// Body.

bool HTTPFormDataRequest::buildPostBody()
{
    if (haveBuiltPostBody())
        return true;
    QList<PostValue> values;
    QList<FileData> files;
    int format;
    {
        QMutexLocker lock(&m_formLock);
        values = m_postData;
        files = m_fileData;
        format = m_postFormat;
    }
    if (values.isEmpty() && files.isEmpty())
        return HTTPRequest::buildPostBody();
    // Every text part would come out empty.
    if (!TextEncoding::isKnown(stringEncoding())) {
        failWithError(
            HTTPRequestError::withText(HTTPRequestError::InternalErrorWhileBuildingRequest,
                                       tr("Unknown string encoding %1").arg(charsetName())));
        return false;
    }
    if (!files.isEmpty())
        setShouldStreamPostDataFromDisk(true);
    const bool built = format == URLEncodedPostFormat
                           ? buildURLEncodedPostBody(values, files)
                           : buildMultipartFormDataPostBody(values, files);
    return built && HTTPRequest::buildPostBody();
}

bool HTTPFormDataRequest::buildURLEncodedPostBody(const QList<PostValue> &values,
                                                  const QList<FileData> &files)
{
    if (!files.isEmpty()) {
        setPostFormat(MultipartFormDataPostFormat);
        return buildMultipartFormDataPostBody(values, files);
    }
    addRequestHeader(
        QStringLiteral("Content-Type"),
        QStringLiteral("application/x-www-form-urlencoded; charset=%1").arg(charsetName()));
    for (qsizetype i = 0; i < values.size(); ++i) {
        const QString separator = i + 1 < values.size() ? QStringLiteral("&") : QString();
        appendPostString(QStringLiteral("%1=%2%3").arg(encodeURL(values[i].key),
                                                       encodeURL(values[i].value), separator));
    }
    return true;
}

bool HTTPFormDataRequest::buildMultipartFormDataPostBody(const QList<PostValue> &values,
                                                         const QList<FileData> &files)
{
    if (const Error refused = refusedPartHead(values, files); !refused.isNull()) {
        failWithError(refused);
        return false;
    }
    const QString boundary = QString::fromLatin1(chooseBoundary(values, files));
    addRequestHeader(QStringLiteral("Content-Type"),
                     QStringLiteral("multipart/form-data; charset=%1; boundary=%2")
                         .arg(charsetName(), boundary));
    const QString separator = QStringLiteral("\r\n--%1\r\n").arg(boundary);
    appendPostString(QStringLiteral("--%1\r\n").arg(boundary));
    for (qsizetype i = 0; i < values.size(); ++i) {
        appendPostString(QStringLiteral("Content-Disposition: form-data; name=\"%1\"\r\n\r\n")
                             .arg(headerText(values[i].key)));
        appendPostString(values[i].value);
        if (i + 1 < values.size() || !files.isEmpty())
            appendPostString(separator);
    }
    for (qsizetype i = 0; i < files.size(); ++i) {
        const FileData &file = files[i];
        appendPostString(
            QStringLiteral("Content-Disposition: form-data; name=\"%1\"; filename=\"%2\"\r\n")
                .arg(headerText(file.key), headerText(file.fileName)));
        appendPostString(QStringLiteral("Content-Type: %1\r\n\r\n").arg(file.contentType));
        if (const auto *path = std::get_if<QString>(&file.data)) {
            // A file gone since it was added must not go out as an empty part.
            if (!appendPostDataFromFile(*path)) {
                failWithError(noFileAt(*path));
                return false;
            }
        } else {
            appendPostData(std::get<QByteArray>(file.data));
        }
        if (i + 1 < files.size())
            appendPostString(separator);
    }
    appendPostString(QStringLiteral("\r\n--%1--\r\n").arg(boundary));
    return true;
}

QByteArray HTTPFormDataRequest::chooseBoundary(const QList<PostValue> &values,
                                               const QList<FileData> &files) const
{
    // The fixed boundary serves unless a part holds it, in its head or its body; then a random
    // one takes its place.
    QByteArray boundary = Boundary;
    const auto taken = [&] {
        const QLatin1String text(boundary);
        for (const PostValue &value : values) {
            if (value.key.contains(text) || value.value.contains(text))
                return true;
        }
        for (const FileData &file : files) {
            if (file.key.contains(text) || file.fileName.contains(text) ||
                file.contentType.contains(text) || partContains(file, boundary))
                return true;
        }
        return false;
    };
    while (taken())
        boundary = Boundary + QUuid::createUuid().toByteArray(QUuid::Id128);
    return boundary;
}

std::shared_ptr<HTTPRequest> HTTPFormDataRequest::copy() const
{
    auto made = requestWithURL(url());
    copySettingsTo(made.get());
    QMutexLocker lock(&m_formLock);
    made->m_postData = m_postData;
    made->m_fileData = m_fileData;
    made->m_postFormat = m_postFormat;
    made->m_stringEncoding = m_stringEncoding;
    // The source's built body may already be gone with its run; the copy builds its own.
    if (!m_postData.isEmpty() || !m_fileData.isEmpty())
        made->discardPostBody();
    return made;
}
