#include "http/CookieStorage.h"

#include <QMutexLocker>

class CookieStorage::Jar final : public QNetworkCookieJar
{
public:
    using QNetworkCookieJar::allCookies;
};

CookieStorage::CookieStorage() : m_jar(std::make_unique<Jar>()) {}

CookieStorage::~CookieStorage() = default;

CookieStorage &CookieStorage::shared()
{
    static CookieStorage storage;
    return storage;
}

QList<QNetworkCookie> CookieStorage::cookiesForUrl(const QUrl &url) const
{
    QMutexLocker lock(&m_mutex);
    return m_jar->cookiesForUrl(url);
}

void CookieStorage::setCookiesFromUrl(const QList<QNetworkCookie> &cookies, const QUrl &url)
{
    QMutexLocker lock(&m_mutex);
    m_jar->setCookiesFromUrl(cookies, url);
}

void CookieStorage::deleteCookie(const QNetworkCookie &cookie)
{
    QMutexLocker lock(&m_mutex);
    m_jar->deleteCookie(cookie);
}

QList<QNetworkCookie> CookieStorage::allCookies() const
{
    QMutexLocker lock(&m_mutex);
    return m_jar->allCookies();
}

QList<QNetworkCookie> CookieStorage::cookiesFromResponse(const QList<QByteArray> &setCookieValues,
                                                         const QUrl &url)
{
    QList<QNetworkCookie> result;
    for (const QByteArray &value : setCookieValues) {
        for (QNetworkCookie cookie : QNetworkCookie::parseCookies(value)) {
            if (cookie.name().isEmpty())
                continue;
            cookie.normalize(url);
            result.append(cookie);
        }
    }
    return result;
}
