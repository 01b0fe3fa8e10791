#include "http/HTTPDownloadCache.h"

#include "http/Gzip.h"
#include "http/HTTPDate.h"
#include "http/HTTPRequest.h"
#include "http/HTTPResponseHead.h"

#include "platform/ApplicationFolders.h"
#include "platform/FileWriter.h"
#include "platform/Logging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString HeadersExtension = QStringLiteral("cachedheaders");
const QString DataExtension = QStringLiteral("cacheddata");
// Longer than anything worth keeping; keeps the date arithmetic far from overflow.
constexpr qint64 MaxAgeLimit = 100LL * 365 * 24 * 3600;

QString canonical(const QString &name)
{
    return QString::fromLatin1(HTTPResponseHead::canonicalName(name.toLatin1()));
}

std::optional<QString> field(const QMap<QString, QString> &headers, const QString &name)
{
    const auto it = headers.find(canonical(name));
    if (it == headers.end())
        return std::nullopt;
    return *it;
}

// The directives of a "Cache-Control" or "Pragma" value: lower-case names with their
// arguments (empty when there is none).
QList<std::pair<QString, QString>> directives(const QString &value)
{
    QList<std::pair<QString, QString>> list;
    for (const QString &part : value.split(QLatin1Char(','))) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        const QString name = (equals < 0 ? part : part.left(equals)).trimmed().toLower();
        if (!name.isEmpty())
            list.append({name, equals < 0 ? QString() : part.mid(equals + 1).trimmed()});
    }
    return list;
}

bool hasDirective(const std::optional<QString> &value, const QString &name)
{
    if (!value)
        return false;
    const auto list = directives(*value);
    return std::any_of(list.cbegin(), list.cend(),
                       [&name](const auto &directive) { return directive.first == name; });
}

// Seconds of a "max-age" directive; garbage reads as 0.
std::optional<qint64> maxAgeSeconds(const std::optional<QString> &cacheControl)
{
    if (!cacheControl)
        return std::nullopt;
    for (const auto &[name, argument] : directives(*cacheControl)) {
        if (name != QLatin1String("max-age"))
            continue;
        qsizetype digits = 0;
        while (digits < argument.size() && argument.at(digits).isDigit() && digits < 12)
            ++digits;
        return qMin(argument.left(digits).toLongLong(), MaxAgeLimit);
    }
    return std::nullopt;
}

std::optional<QMap<QString, QString>> readHeaders(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return std::nullopt;
    QMap<QString, QString> headers;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        headers.insert(canonical(it.key()), it.value().toString());
    }
    return headers;
}

// A body cut short is never kept: it would later be served as the whole response.
bool notCached(const QString &path, const QString &problem)
{
    qCWarning(lcHttp).noquote()
        << QStringLiteral("Response not cached in %1: %2").arg(path, problem);
    return false;
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QString problem;
    return FileWriter::replace(path, contents, FileWriter::Access::Shared, &problem) ||
           notCached(path, problem);
}

bool copyFile(const QString &from, const QString &to)
{
    QString problem;
    return FileWriter::replaceWithCopy(to, from, FileWriter::Access::Shared, &problem) ||
           notCached(to, problem);
}

} // namespace

std::shared_ptr<HTTPDownloadCache> HTTPDownloadCache::sharedCache()
{
    static const std::shared_ptr<HTTPDownloadCache> cache = [] {
        auto made = std::make_shared<HTTPDownloadCache>();
        made->setStoragePath(
            QDir(ApplicationFolders::caches()).filePath(QStringLiteral("HTTPRequestCache")));
        return made;
    }();
    return cache;
}

HTTPDownloadCache::HTTPDownloadCache(Clock clock) : m_clock(std::move(clock)) {}

QString HTTPDownloadCache::storagePath() const
{
    QMutexLocker lock(&m_accessLock);
    return m_storagePath;
}

void HTTPDownloadCache::setStoragePath(const QString &path)
{
    std::optional<Exception> failure;
    {
        QMutexLocker lock(&m_accessLock);
        failure = clearStore(CacheForSessionDurationCacheStoragePolicy);
        if (!failure) {
            m_storagePath = path;
            failure = makeFolders();
        }
        if (!failure)
            failure = clearStore(CacheForSessionDurationCacheStoragePolicy);
    }
    if (failure)
        throw *failure;
}

std::optional<Exception> HTTPDownloadCache::makeFolders()
{
    if (m_storagePath.isEmpty())
        return std::nullopt;
    for (const QString &folder :
         {m_storagePath, storeFolder(SessionStore), storeFolder(PermanentStore)}) {
        const QFileInfo info(folder);
        if (info.isDir())
            continue;
        if (info.exists())
            return Exception(FileExistsAtCachePath,
                             QStringLiteral("Cannot create a directory for the cache at '%1', "
                                            "because a file already exists")
                                 .arg(folder));
        // Parents are not made: a cache below a folder that is gone is a mistake.
        QDir().mkdir(folder);
        if (!QFileInfo(folder).isDir())
            return Exception(
                FailedToCreateCacheDirectory,
                QStringLiteral("Failed to create a directory for the cache at '%1'").arg(folder));
    }
    return std::nullopt;
}

int HTTPDownloadCache::defaultCachePolicy() const
{
    QMutexLocker lock(&m_accessLock);
    return m_defaultCachePolicy;
}

void HTTPDownloadCache::setDefaultCachePolicy(int policy)
{
    QMutexLocker lock(&m_accessLock);
    m_defaultCachePolicy = policy == UseDefaultCachePolicy ? ReloadIfDifferentCachePolicy : policy;
}

bool HTTPDownloadCache::shouldRespectCacheControlHeaders() const
{
    QMutexLocker lock(&m_accessLock);
    return m_shouldRespectCacheControlHeaders;
}

void HTTPDownloadCache::setShouldRespectCacheControlHeaders(bool respect)
{
    QMutexLocker lock(&m_accessLock);
    m_shouldRespectCacheControlHeaders = respect;
}

QString HTTPDownloadCache::keyForRequest(const HTTPRequest &request)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(request.url().toEncoded(), QCryptographicHash::Md5)
            .toHex()
            .toUpper());
}

QString HTTPDownloadCache::storeFolder(const QString &store) const
{
    return QDir(m_storagePath).filePath(store);
}

std::optional<HTTPDownloadCache::StoredResponse>
HTTPDownloadCache::storedResponse(const QString &key) const
{
    if (m_storagePath.isEmpty())
        return std::nullopt;
    for (const QString &store : {SessionStore, PermanentStore}) {
        const QDir folder(storeFolder(store));
        StoredResponse stored{folder.filePath(key + QLatin1Char('.') + HeadersExtension),
                              folder.filePath(key + QLatin1Char('.') + DataExtension)};
        if (QFileInfo::exists(stored.headersPath) && QFileInfo::exists(stored.dataPath))
            return stored;
    }
    return std::nullopt;
}

std::optional<QMap<QString, QString>>
HTTPDownloadCache::cachedHeadersForRequest(const HTTPRequest &request) const
{
    const QString key = keyForRequest(request);
    QMutexLocker lock(&m_accessLock);
    const auto stored = storedResponse(key);
    return stored ? readHeaders(stored->headersPath) : std::nullopt;
}

std::optional<QByteArray>
HTTPDownloadCache::cachedResponseDataForRequest(const HTTPRequest &request) const
{
    const QString key = keyForRequest(request);
    QMutexLocker lock(&m_accessLock);
    const auto stored = storedResponse(key);
    if (!stored)
        return std::nullopt;
    QFile file(stored->dataPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

QString HTTPDownloadCache::pathToCachedResponseDataForRequest(const HTTPRequest &request) const
{
    const QString key = keyForRequest(request);
    QMutexLocker lock(&m_accessLock);
    const auto stored = storedResponse(key);
    return stored ? stored->dataPath : QString();
}

QString HTTPDownloadCache::pathToCachedResponseHeadersForRequest(const HTTPRequest &request) const
{
    const QString key = keyForRequest(request);
    QMutexLocker lock(&m_accessLock);
    const auto stored = storedResponse(key);
    return stored ? stored->headersPath : QString();
}

void HTTPDownloadCache::removeCachedDataForRequest(const HTTPRequest &request)
{
    const QString key = keyForRequest(request);
    QMutexLocker lock(&m_accessLock);
    if (const auto stored = storedResponse(key)) {
        QFile::remove(stored->headersPath);
        QFile::remove(stored->dataPath);
    }
}

bool HTTPDownloadCache::serverAllowsResponseCachingForRequest(const HTTPRequest &request)
{
    const auto cacheControl = request.responseHeader(QStringLiteral("Cache-Control"));
    const auto pragma = request.responseHeader(QStringLiteral("Pragma"));
    return !hasDirective(cacheControl, QStringLiteral("no-cache")) &&
           !hasDirective(cacheControl, QStringLiteral("no-store")) &&
           !hasDirective(pragma, QStringLiteral("no-cache"));
}

void HTTPDownloadCache::storeResponseForRequest(const HTTPRequest &request, double maxAge)
{
    // Everything is read from the request before the cache's lock is taken, so that no lock
    // of the cache is ever held while waiting for a request.
    const std::optional<QMap<QString, QString>> responseHeaders = request.responseHeaders();
    if (!request.error().isNull() || !responseHeaders || request.responseStatusCode() != 200)
        return;
    const bool serverAllows = serverAllowsResponseCachingForRequest(request);
    const int policy = request.cachePolicy();
    const bool compressed = request.isResponseCompressed();
    const QString key = keyForRequest(request);
    const QString store = request.cacheStoragePolicy() == CacheForSessionDurationCacheStoragePolicy
                              ? SessionStore
                              : PermanentStore;
    const std::optional<QByteArray> raw = request.rawResponseData();
    const std::optional<QByteArray> inflated = request.uncompressedResponseData();
    const QString downloaded = request.downloadDestinationPath();

    QMutexLocker lock(&m_accessLock);
    if ((m_shouldRespectCacheControlHeaders && !serverAllows) || m_storagePath.isEmpty() ||
        (policy == UseDefaultCachePolicy ? m_defaultCachePolicy : policy) == IgnoreCachePolicy)
        return;
    const QDir folder(storeFolder(store));
    const QString headersPath = folder.filePath(key + QLatin1Char('.') + HeadersExtension);
    const QString dataPath = folder.filePath(key + QLatin1Char('.') + DataExtension);

    // The body first: new headers must never end up beside an older body.
    bool written = false;
    qint64 length = 0;
    if (raw) {
        if (!inflated)
            return;
        length = inflated->size();
        written = writeFile(dataPath, *inflated);
    } else if (!downloaded.isEmpty() && QFileInfo(downloaded).isFile()) {
        length = QFileInfo(downloaded).size();
        written = copyFile(downloaded, dataPath);
    } else {
        return;
    }

    QMap<QString, QString> headers = *responseHeaders;
    if (compressed) {
        headers.remove(canonical(QStringLiteral("Content-Encoding")));
        // The stored body is the inflated one.
        headers.insert(canonical(QStringLiteral("Content-Length")), QString::number(length));
    }
    if (maxAge != 0) {
        headers.remove(canonical(QStringLiteral("Expires")));
        headers.insert(canonical(QStringLiteral("Cache-Control")),
                       QStringLiteral("max-age=%1").arg(int(maxAge)));
    }
    headers.insert(FetchDateHeader, HTTPDate::rfc1123String(m_clock()));
    QJsonObject object;
    for (auto it = headers.cbegin(); it != headers.cend(); ++it)
        object.insert(it.key(), it.value());
    if (!written || !writeFile(headersPath, QJsonDocument(object).toJson())) {
        QFile::remove(dataPath);
        QFile::remove(headersPath);
        return;
    }
    // A pair left in the other store would be found first or hide this one.
    const QDir other(storeFolder(store == SessionStore ? PermanentStore : SessionStore));
    QFile::remove(other.filePath(key + QLatin1Char('.') + HeadersExtension));
    QFile::remove(other.filePath(key + QLatin1Char('.') + DataExtension));
}

bool HTTPDownloadCache::isExpired(const QMap<QString, QString> &stored) const
{
    const QDateTime now = m_clock();
    if (const auto expires = field(stored, QStringLiteral("Expires"))) {
        const QDateTime date = HTTPDate::dateFromRFC1123String(*expires);
        if (date.isValid() && date < now)
            return true;
    }
    if (const auto maxAge = maxAgeSeconds(field(stored, QStringLiteral("Cache-Control")))) {
        const auto fetched = field(stored, FetchDateHeader);
        const QDateTime date = fetched ? HTTPDate::dateFromRFC1123String(*fetched) : QDateTime();
        // Without a readable fetch date the age is unknown: count it as spent.
        if (!date.isValid() || date.addSecs(*maxAge) < now)
            return true;
    }
    return false;
}

bool HTTPDownloadCache::isCachedDataCurrentForRequest(const HTTPRequest &request) const
{
    const QString key = keyForRequest(request);
    const bool hasResponse = request.responseHeaders().has_value();
    const int status = request.responseStatusCode();
    const auto etag = request.responseHeader(QStringLiteral("Etag"));
    const auto lastModified = request.responseHeader(QStringLiteral("Last-Modified"));

    QMutexLocker lock(&m_accessLock);
    const auto stored = storedResponse(key);
    const auto headers = stored ? readHeaders(stored->headersPath) : std::nullopt;
    if (!headers)
        return false;
    // The server has just confirmed the stored response, however old it is.
    if (hasResponse && status == 304)
        return true;
    if (m_shouldRespectCacheControlHeaders && isExpired(*headers))
        return false;
    if (!hasResponse)
        return true;
    const auto storedEtag = field(*headers, QStringLiteral("Etag"));
    const auto storedLastModified = field(*headers, QStringLiteral("Last-Modified"));
    return etag && storedEtag && *etag == *storedEtag && lastModified && storedLastModified &&
           *lastModified == *storedLastModified;
}

void HTTPDownloadCache::clearCachedResponsesForStoragePolicy(int storagePolicy)
{
    std::optional<Exception> failure;
    {
        QMutexLocker lock(&m_accessLock);
        failure = clearStore(storagePolicy);
    }
    if (failure)
        throw *failure;
}

std::optional<Exception> HTTPDownloadCache::clearStore(int storagePolicy)
{
    if (m_storagePath.isEmpty())
        return std::nullopt;
    const QString path = storeFolder(
        storagePolicy == CachePermanentlyCacheStoragePolicy ? PermanentStore : SessionStore);
    const QDir folder(path);
    if (!QFileInfo(path).isDir())
        return std::nullopt;
    if (!folder.isReadable())
        return Exception(FailedToTraverseCacheDirectory,
                         QStringLiteral("Listing cache directory failed at path '%1'").arg(path));
    const QStringList names =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString extension = QFileInfo(name).suffix();
        if (extension != DataExtension && extension != HeadersExtension)
            continue;
        if (!QFile::remove(folder.filePath(name)))
            return Exception(FailedToRemoveCacheFile,
                             QStringLiteral("Failed to remove cached data at path '%1'").arg(path));
    }
    return std::nullopt;
}
