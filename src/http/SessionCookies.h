#pragma once

#include <QList>
#include <QNetworkCookie>

#include <optional>

// The cookies received during this session, kept so that they can be dropped from the shared
// store together. Safe from any thread.
class SessionCookies
{
public:
    // Makes an empty list when there is none.
    static QList<QNetworkCookie> sessionCookies();
    // Deletes every cookie of the old list from the shared store, then replaces the list.
    static void setSessionCookies(std::optional<QList<QNetworkCookie>> cookies);
    // Replaces a cookie with the same domain, path and name.
    static void addSessionCookie(const QNetworkCookie &cookie);
};
