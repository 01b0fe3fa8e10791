#include "platform/UrlLoader.h"

#include "platform/Logging.h"
#include "platform/TrustedCertificates.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace {

constexpr int CancelPollMs = 50;

Error loaderError(UrlLoader::ErrorCode code, const QString &description)
{
    return Error::withDescription(UrlLoader::ErrorDomain, code, description);
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

    QNetworkAccessManager manager;
    QNetworkRequest networkRequest(request.url);
    for (const auto &[name, value] : request.headers)
        networkRequest.setRawHeader(name, value);
    if (request.url.scheme() == QLatin1String("https"))
        networkRequest.setSslConfiguration(TrustedCertificates::configuration());

    std::unique_ptr<QNetworkReply> reply(
        manager.sendCustomRequest(networkRequest, request.method, request.body));

    QEventLoop loop;
    bool timedOut = false;
    bool cancelled = false;
    QTimer inactivity;
    inactivity.setSingleShot(true);
    inactivity.setInterval(request.timeoutMs);
    QObject::connect(&inactivity, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    const auto activity = [&] { inactivity.start(); };
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop, activity);
    QObject::connect(reply.get(), &QNetworkReply::uploadProgress, &loop, activity);
    QTimer cancelPoll;
    if (isCancelled) {
        QObject::connect(&cancelPoll, &QTimer::timeout, &loop, [&] {
            if (isCancelled()) {
                cancelled = true;
                reply->abort();
            }
        });
        cancelPoll.start(CancelPollMs);
    }
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    inactivity.start();
    if (!reply->isFinished())
        loop.exec();

    if (timedOut) {
        response.error = loaderError(TimedOut, QStringLiteral("The request timed out"));
        return response;
    }
    if (cancelled) {
        response.error = loaderError(Cancelled, QStringLiteral("The request was cancelled"));
        return response;
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
    response.body = reply->readAll();
    return response;
}
