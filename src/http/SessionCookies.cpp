#include "http/SessionCookies.h"

#include "http/CookieStorage.h"

#include <QMutexLocker>

#include <mutex>

namespace {

std::recursive_mutex &cookiesLock()
{
    static std::recursive_mutex lock;
    return lock;
}

std::optional<QList<QNetworkCookie>> &cookieList()
{
    static std::optional<QList<QNetworkCookie>> list;
    return list;
}

} // namespace

QList<QNetworkCookie> SessionCookies::sessionCookies()
{
    QMutexLocker lock(&cookiesLock());
    if (!cookieList())
        setSessionCookies(QList<QNetworkCookie>());
    return *cookieList();
}

void SessionCookies::setSessionCookies(std::optional<QList<QNetworkCookie>> cookies)
{
    QMutexLocker lock(&cookiesLock());
    if (cookieList()) {
        for (const QNetworkCookie &cookie : *cookieList())
            CookieStorage::shared().deleteCookie(cookie);
    }
    cookieList() = std::move(cookies);
}

void SessionCookies::addSessionCookie(const QNetworkCookie &cookie)
{
    QMutexLocker lock(&cookiesLock());
    if (!cookieList())
        cookieList() = QList<QNetworkCookie>();
    QList<QNetworkCookie> &list = *cookieList();
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list[i].hasSameIdentifier(cookie)) {
            list.removeAt(i);
            break;
        }
    }
    list.append(cookie);
}
