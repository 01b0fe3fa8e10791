#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <optional>

class HTTPRequest;

// What a request asks of the response cache it is given. Every call may come from any thread.
class HTTPCacheDelegate
{
public:
    // Cache policies of a request (and of defaultCachePolicy()).
    enum CachePolicy
    {
        UseDefaultCachePolicy = 0,
        IgnoreCachePolicy = 1,
        ReloadIfDifferentCachePolicy = 2,
        OnlyLoadIfNotCachedCachePolicy = 3,
        UseCacheIfLoadFailsCachePolicy = 4,
    };
    // Storage policies of a request.
    enum StoragePolicy
    {
        CacheForSessionDurationCacheStoragePolicy = 0,
        CachePermanentlyCacheStoragePolicy = 1,
    };

    virtual ~HTTPCacheDelegate() = default;

    virtual int defaultCachePolicy() const = 0;
    virtual void setDefaultCachePolicy(int policy) = 0;
    virtual void storeResponseForRequest(const HTTPRequest &request, double maxAge) = 0;
    virtual std::optional<QMap<QString, QString>>
    cachedHeadersForRequest(const HTTPRequest &request) const = 0;
    virtual std::optional<QByteArray>
    cachedResponseDataForRequest(const HTTPRequest &request) const = 0;
    virtual QString pathToCachedResponseDataForRequest(const HTTPRequest &request) const = 0;
    virtual QString pathToCachedResponseHeadersForRequest(const HTTPRequest &request) const = 0;
    virtual void removeCachedDataForRequest(const HTTPRequest &request) = 0;
    virtual bool isCachedDataCurrentForRequest(const HTTPRequest &request) const = 0;
    virtual void clearCachedResponsesForStoragePolicy(int storagePolicy) = 0;
};
