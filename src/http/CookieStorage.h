#pragma once

#include <QList>
#include <QMutex>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

#include <memory>

// The process-wide cookie store every request sends from and stores into; safe from any thread.
class CookieStorage
{
public:
    static CookieStorage &shared();

    QList<QNetworkCookie> cookiesForUrl(const QUrl &url) const;
    // Cookies for a foreign domain are refused. An address host takes, and gets, only the
    // cookies of that very address.
    void setCookiesFromUrl(const QList<QNetworkCookie> &cookies, const QUrl &url);
    void deleteCookie(const QNetworkCookie &cookie);
    QList<QNetworkCookie> allCookies() const;

    // The cookies of a response's "Set-Cookie" values for the URL; malformed ones, those
    // holding control characters and those an address host sets for another are dropped.
    static QList<QNetworkCookie> cookiesFromResponse(const QList<QByteArray> &setCookieValues,
                                                     const QUrl &url);

private:
    class Jar;
    CookieStorage();
    ~CookieStorage();

    mutable QMutex m_mutex;
    std::unique_ptr<Jar> m_jar;
};
