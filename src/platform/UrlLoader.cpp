#include "platform/UrlLoader.h"

#include "platform/Logging.h"
#include "platform/TrustedCertificates.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QThreadStorage>
#include <QTimer>

#include <limits>
#include <memory>

namespace {

constexpr int CancelPollMs = 50;
constexpr qint64 ReadBufferSize = 1024 * 1024;

Error loaderError(UrlLoader::ErrorCode code, const QString &description)
{
    return Error::withDescription(UrlLoader::ErrorDomain, code, description);
}

// Requests share connections, never state: what one service sets must not ride along
// with the next request.
class NoCookies final : public QNetworkCookieJar
{
public:
    QList<QNetworkCookie> cookiesForUrl(const QUrl &) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie> &, const QUrl &) override { return false; }
};

// A thread's requests go through one manager, so that requests to a service reuse its open
// connections. The manager is made and deleted on its own thread.
struct ThreadManager
{
    QNetworkAccessManager manager;
    QSslConfiguration tls;

    ThreadManager() { manager.setCookieJar(new NoCookies); }
};

QThreadStorage<ThreadManager *> threadManagers;

QNetworkAccessManager &managerFor(const QNetworkRequest &request)
{
    if (!threadManagers.hasLocalData()) {
        threadManagers.setLocalData(new ThreadManager);
        // The main thread outlives the storage's own clean-up: its manager goes with the
        // application object instead.
        const QCoreApplication *application = QCoreApplication::instance();
        if (application && QThread::currentThread() == application->thread())
            qAddPostRoutine([] { threadManagers.setLocalData(nullptr); });
    }
    ThreadManager &local = *threadManagers.localData();
    if (request.url().scheme() == QLatin1String("https")) {
        const QSslConfiguration tls = request.sslConfiguration();
        // Connections trusted under other authorities are not reused.
        if (tls != local.tls) {
            local.manager.clearConnectionCache();
            local.tls = tls;
        }
    }
    return local.manager;
}

} // namespace

QByteArray UrlResponse::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

UrlResponse UrlLoader::load(const UrlRequest &request, const CancelCheck &isCancelled)
{
    UrlResponse response;
    if (isCancelled && isCancelled()) {
        response.error = loaderError(Cancelled, QStringLiteral("The request was cancelled"));
        return response;
    }

    QNetworkRequest networkRequest(request.url);
    // Left to itself the manager would inflate compressed replies, beyond the size cap's reach.
    networkRequest.setRawHeader("Accept-Encoding", "identity");
    for (const auto &[name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    if (request.url.scheme() == QLatin1String("https"))
        networkRequest.setSslConfiguration(TrustedCertificates::configuration());

    std::unique_ptr<QNetworkReply> reply(
        managerFor(networkRequest).sendCustomRequest(networkRequest, request.method, request.body));
    // The network side waits for each piece to be taken rather than piling the reply up.
    reply->setReadBufferSize(ReadBufferSize);

    QEventLoop loop;
    enum class Ending
    {
        Finished,
        TimedOut,
        Cancelled,
        TooLarge
    } ending = Ending::Finished;
    const auto end = [&](Ending why) {
        ending = why;
        reply->abort();
    };
    QTimer inactivity;
    inactivity.setSingleShot(true);
    QObject::connect(&inactivity, &QTimer::timeout, &loop, [&] { end(Ending::TimedOut); });
    const auto activity = [&] { inactivity.start(); };
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop, activity);
    QObject::connect(reply.get(), &QNetworkReply::uploadProgress, &loop, activity);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] { end(Ending::TimedOut); });
    QByteArray body;
    const auto takeBody = [&] {
        if (ending != Ending::Finished)
            return;
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (announced > request.maximumBodySize ||
            body.size() + reply->bytesAvailable() > request.maximumBodySize) {
            end(Ending::TooLarge);
            return;
        }
        body += reply->readAll();
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, takeBody);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, takeBody);
    QTimer cancelPoll;
    if (isCancelled) {
        QObject::connect(&cancelPoll, &QTimer::timeout, &loop, [&] {
            if (isCancelled())
                end(Ending::Cancelled);
        });
        cancelPoll.start(CancelPollMs);
    }
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    inactivity.start(request.timeoutMs);
    deadline.start(qMin<qint64>(qint64(request.timeoutMs) * UrlRequest::DeadlineFactor,
                                std::numeric_limits<int>::max()));
    if (!reply->isFinished())
        loop.exec();
    takeBody();

    switch (ending) {
    case Ending::TimedOut:
        response.error = loaderError(TimedOut, QStringLiteral("The request timed out"));
        return response;
    case Ending::Cancelled:
        response.error = loaderError(Cancelled, QStringLiteral("The request was cancelled"));
        return response;
    case Ending::TooLarge:
        qCInfo(lcPlatform) << "Refused a reply over" << request.maximumBodySize << "bytes from"
                           << request.url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery);
        response.error = loaderError(TooLarge, QStringLiteral("The reply is too large"));
        return response;
    case Ending::Finished:
        break;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError failure = reply->error();
    if (!status.isValid() || (failure > QNetworkReply::NoError && failure < 200)) {
        // Queries may carry account data: they stay out of the log.
        qCInfo(lcPlatform) << "Loading"
                           << request.url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery)
                           << "failed:" << reply->errorString();
        response.error = loaderError(ConnectionFailed, reply->errorString());
        return response;
    }
    response.status = status.toInt();
    for (const auto &pair : reply->rawHeaderPairs())
        response.headers.append({pair.first, pair.second});
    response.body = body;
    return response;
}
