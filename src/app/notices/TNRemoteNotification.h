#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

class UserDefaults;

// One notice of the application's notice feed, and the record of the notices already shown.
class TNRemoteNotification final
{
public:
    static inline const QString ShownKey = QStringLiteral("RemoteNotificationsShown");

    // Null unless "enabled" is a boolean, "identifier" and "html" are non-empty strings, both
    // dates read, and "html" is a relative path that stays below the endpoint.
    static std::optional<TNRemoteNotification> initWithDictionary(const QJsonObject &dictionary,
                                                                  const QUrl &baseURL);
    // Local midnight of the day before the first "T" of "year-month-day T...", for years from
    // 2016 until the last a date and time can hold; a day past the end of its month rolls over
    // into the next.
    static std::optional<QDateTime> dateFromString(const QString &text);

    // The component is taken as path text, never resolved as a URL.
    static QUrl urlByAppendingPathComponent(QUrl url, const QString &component);

    bool isEnabled() const { return m_enabled; }
    QDateTime startDate() const { return m_startDate; }
    QDateTime endDate() const { return m_endDate; }
    QString identifier() const { return m_identifier; }
    QUrl url() const { return m_url; }

    // Enabled, not shown before, and now within [start, end].
    bool shouldShow(UserDefaults &defaults, const QDateTime &now) const;
    bool haveShownFlagInUserDefaults(UserDefaults &defaults) const;
    void saveShownFlagInUserDefaults(UserDefaults &defaults) const;

private:
    TNRemoteNotification() = default;

    bool m_enabled = false;
    QDateTime m_startDate;
    QDateTime m_endDate;
    QString m_identifier;
    QUrl m_url;
};
