#include "services/ServiceRequest.h"

#include "services/ServiceSettings.h"

namespace ServiceRequest {

QUrl url(const QUrl &base, const QString &path, const QueryItems &items)
{
    QStringList pairs;
    for (const auto &[key, value] : items)
        pairs.append(key + u'=' + QString::fromLatin1(QUrl::toPercentEncoding(value)));
    QUrl url = base;
    url.setPath(path);
    url.setQuery(pairs.join(u'&'), QUrl::StrictMode);
    return url;
}

UrlResponse get(const QUrl &url, const UrlLoader::CancelCheck &cancel)
{
    return UrlLoader::load(UrlRequest::get(url, ServiceSettings::requestTimeoutMs()), cancel);
}

bool unreachable(const UrlResponse &response)
{
    return unreachable(response.error);
}

bool unreachable(const Error &error)
{
    return error.domain() == UrlLoader::ErrorDomain &&
           (error.code() == UrlLoader::ConnectionFailed || error.code() == UrlLoader::TimedOut);
}

} // namespace ServiceRequest
