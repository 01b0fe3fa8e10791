#include "services/subdb/SubDBApi.h"

#include "http/HTTPRequest.h"
#include "services/ServiceRequest.h"
#include "services/ServiceSettings.h"

SubDBApi::SubDBApi(QUrl host, QUrl webSite) : m_host(std::move(host)), m_webSite(std::move(webSite))
{}

QString SubDBApi::userAgent() const
{
    return QStringLiteral("SubDB/1.0 (Trovanel/1.0; %1)").arg(m_webSite.toString());
}

std::optional<QStringList> SubDBApi::languages() const
{
    const auto request = HTTPRequest::requestWithURL(
        ServiceRequest::url(m_host, QStringLiteral("/"), {{"action", "languages"}}));
    request->addRequestHeader(QStringLiteral("User-Agent"), userAgent());
    request->setTimeOutSeconds(ServiceSettings::requestTimeoutMs() / 1000.0);
    request->setTotalTimeOutSeconds(ServiceSettings::requestDeadlineSeconds());
    request->startSynchronous();
    // An error page would otherwise read as a list of codes.
    if (!request->error().isNull() || request->responseStatusCode() != 200)
        return std::nullopt;
    const QString body = request->responseString().trimmed();
    if (body.isEmpty())
        return std::nullopt;
    return body.split(u',');
}

RemoteSubtitles SubDBApi::searchSubtitleUsingWeb(const VideoFileSearchDictionary &,
                                                 const QString &) const
{
    return std::nullopt;
}
