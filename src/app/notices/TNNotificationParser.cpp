#include "app/notices/TNNotificationParser.h"

#include "platform/UrlLoader.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QThreadPool>

#include <algorithm>

TNNotificationParser::TNNotificationParser(QUrl endpoint, UserDefaults &defaults)
    : m_endpoint(std::move(endpoint)), m_defaults(defaults)
{}

QUrl TNNotificationParser::configuredEndpoint(const UserDefaults &defaults)
{
    const QUrl endpoint(defaults.stringValue(EndpointKey), QUrl::StrictMode);
    const QString scheme = endpoint.scheme();
    if (!endpoint.isValid() || endpoint.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return {};
    return endpoint;
}

bool TNNotificationParser::remoteDisabled() const
{
    return m_defaults.boolValue(DisabledKey);
}

void TNNotificationParser::findRemoteNotifications(Handler handler) const
{
    if (remoteDisabled() || m_endpoint.isEmpty())
        return;
    const QUrl feed = TNRemoteNotification::urlByAppendingPathComponent(m_endpoint, FeedFileName);
    QThreadPool::globalInstance()->start([feed, baseURL = m_endpoint, &defaults = m_defaults,
                                          handler = std::move(handler)] {
        const UrlResponse response = UrlLoader::load(UrlRequest::get(feed));
        if (!response.isSuccess() || response.body.isEmpty())
            return;
        const QJsonDocument document = QJsonDocument::fromJson(response.body);
        if (!document.isObject())
            return;
        const std::optional<QList<TNRemoteNotification>> notices =
            notifArrayFromJson(document.object(), baseURL, defaults, QDateTime::currentDateTime());
        if (notices && !notices->isEmpty() && handler)
            handler(notices->first());
    });
}

std::optional<QList<TNRemoteNotification>>
TNNotificationParser::notifArrayFromJson(const QJsonObject &feed, const QUrl &baseURL,
                                         UserDefaults &defaults, const QDateTime &now)
{
    const QJsonArray elements = feed.value(QLatin1String("notifications")).toArray();
    if (elements.isEmpty())
        return std::nullopt;
    QList<TNRemoteNotification> notices;
    for (const QJsonValue &element : elements) {
        const std::optional<TNRemoteNotification> notice =
            TNRemoteNotification::initWithDictionary(element.toObject(), baseURL);
        if (notice && notice->shouldShow(defaults, now))
            notices.append(*notice);
    }
    std::stable_sort(notices.begin(), notices.end(),
                     [](const TNRemoteNotification &a, const TNRemoteNotification &b) {
                         return a.startDate() < b.startDate();
                     });
    return notices;
}
