#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <functional>
#include <utility>

using HeaderList = QList<std::pair<QByteArray, QByteArray>>;

struct UrlRequest
{
    QUrl url;
    QByteArray method = "GET";
    HeaderList headers;
    QByteArray body;
    // Ends the request when nothing has moved for this long; however steadily data trickles
    // in, the whole request ends after DeadlineFactor times this long.
    int timeoutMs = 30000;
    // A reply body larger than this is refused rather than held in memory.
    qint64 maximumBodySize = DefaultMaximumBodySize;

    static constexpr qint64 DefaultMaximumBodySize = 32 * 1024 * 1024;
    static constexpr int DeadlineFactor = 4;

    static UrlRequest get(QUrl url, int timeoutMs = 30000)
    {
        UrlRequest request;
        request.url = std::move(url);
        request.timeoutMs = timeoutMs;
        return request;
    }
};

struct UrlResponse
{
    int status = 0; // 0 when no HTTP response came
    HeaderList headers;
    QByteArray body;
    Error error; // null when a response came, whatever its status

    bool isSuccess() const { return error.isNull() && status >= 200 && status < 300; }
    QByteArray header(const QByteArray &name) const;
};

// Loads a URL synchronously on the calling thread, which must not be the main thread
// while the main thread is waited on. Each thread keeps one network manager, and with it
// its open connections, until the thread ends.
class UrlLoader
{
public:
    static inline const QString ErrorDomain = QStringLiteral("UrlLoaderErrorDomain");
    enum ErrorCode
    {
        ConnectionFailed = 1,
        TimedOut = 2,
        Cancelled = 3,
        TooLarge = 4
    };

    // Polled while waiting; true aborts the request.
    using CancelCheck = std::function<bool()>;

    static UrlResponse load(const UrlRequest &request, const CancelCheck &isCancelled = {});
};
