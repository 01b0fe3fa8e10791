#pragma once

#include "app/notices/TNRemoteNotification.h"

#include <QJsonObject>
#include <QList>
#include <QUrl>

#include <functional>
#include <optional>

class UserDefaults;

// Fetches the notice feed in the background and picks the notice to show, if any.
class TNNotificationParser final
{
public:
    static inline const QString DisabledKey = QStringLiteral("RemoteNotificationsDisabled");
    static inline const QString FeedFileName = QStringLiteral("notifications.json");
    static inline const QString EndpointKey = QStringLiteral("RemoteNotificationsURL");

    using Handler = std::function<void(const TNRemoteNotification &)>;

    TNNotificationParser(QUrl endpoint, UserDefaults &defaults);

    // The feed address the user set: an absolute http or https URL, else empty. There is no
    // feed by default.
    static QUrl configuredEndpoint(const UserDefaults &defaults);

    QUrl endpoint() const { return m_endpoint; }

    // Unless switched off or without an address, loads the feed on a pool thread and calls
    // the handler there with the notice to show; nothing is called when there is none or
    // anything fails.
    void findRemoteNotifications(Handler handler) const;
    bool remoteDisabled() const;

    // The notices to show now, earliest start first; null without any "notifications".
    static std::optional<QList<TNRemoteNotification>> notifArrayFromJson(const QJsonObject &feed,
                                                                         const QUrl &baseURL,
                                                                         UserDefaults &defaults,
                                                                         const QDateTime &now);

private:
    QUrl m_endpoint;
    UserDefaults &m_defaults;
};
