#pragma once

#include "http/HTTPCacheDelegate.h"
#include "platform/Exception.h"

#include <QDateTime>

#include <functional>
#include <memory>
#include <mutex>

// Successful GET responses on disk, one headers file and one body file per URL, in a store
// for the session and a permanent store under storagePath(). One cache may serve requests
// on any thread. setStoragePath() and clearCachedResponsesForStoragePolicy() throw
// Exception with the names below when the folders cannot be made, listed or emptied.
class HTTPDownloadCache final : public HTTPCacheDelegate
{
public:
    using Clock = std::function<QDateTime()>;

    static inline const QString FetchDateHeader = QStringLiteral("X-HTTPRequest-Fetch-date");
    static inline const QString SessionStore = QStringLiteral("SessionStore");
    static inline const QString PermanentStore = QStringLiteral("PermanentStore");
    static inline const QString FileExistsAtCachePath = QStringLiteral("FileExistsAtCachePath");
    static inline const QString FailedToCreateCacheDirectory =
        QStringLiteral("FailedToCreateCacheDirectory");
    static inline const QString FailedToTraverseCacheDirectory =
        QStringLiteral("FailedToTraverseCacheDirectory");
    static inline const QString FailedToRemoveCacheFile = QStringLiteral("FailedToRemoveCacheFile");

    // Made on first use, in the user's cache folder under "HTTPRequestCache".
    static std::shared_ptr<HTTPDownloadCache> sharedCache();

    explicit HTTPDownloadCache(Clock clock = &QDateTime::currentDateTimeUtc);

    QString storagePath() const;
    // Empties the session store of the old path and of the new one. An empty path stores
    // nothing.
    void setStoragePath(const QString &path);
    int defaultCachePolicy() const override;
    // 0 keeps ReloadIfDifferentCachePolicy.
    void setDefaultCachePolicy(int policy) override;
    bool shouldRespectCacheControlHeaders() const;
    void setShouldRespectCacheControlHeaders(bool respect);

    void storeResponseForRequest(const HTTPRequest &request, double maxAge) override;
    std::optional<QMap<QString, QString>>
    cachedHeadersForRequest(const HTTPRequest &request) const override;
    std::optional<QByteArray>
    cachedResponseDataForRequest(const HTTPRequest &request) const override;
    QString pathToCachedResponseDataForRequest(const HTTPRequest &request) const override;
    QString pathToCachedResponseHeadersForRequest(const HTTPRequest &request) const override;
    void removeCachedDataForRequest(const HTTPRequest &request) override;
    bool isCachedDataCurrentForRequest(const HTTPRequest &request) const override;
    // 1 empties the permanent store, anything else the session store.
    void clearCachedResponsesForStoragePolicy(int storagePolicy) override;

    // False when the response's "Cache-Control" or "Pragma" forbids keeping it.
    static bool serverAllowsResponseCachingForRequest(const HTTPRequest &request);
    // MD5 of the request's URL as 32 upper-case hexadecimal digits.
    static QString keyForRequest(const HTTPRequest &request);

private:
    // A headers file and its body file, always from the same store.
    struct StoredResponse
    {
        QString headersPath;
        QString dataPath;
    };

    std::optional<StoredResponse> storedResponse(const QString &key) const;
    QString storeFolder(const QString &store) const;
    std::optional<Exception> clearStore(int storagePolicy);
    std::optional<Exception> makeFolders();
    bool isExpired(const QMap<QString, QString> &stored) const;

    Clock m_clock;
    mutable std::recursive_mutex m_accessLock;
    QString m_storagePath;
    int m_defaultCachePolicy = ReloadIfDifferentCachePolicy;
    bool m_shouldRespectCacheControlHeaders = true;
};
