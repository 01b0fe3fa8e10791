#include "http/CookieStorage.h"

#include "http/HTTPMessage.h"

#include <QHostAddress>
#include <QMutexLocker>

namespace {

std::optional<QHostAddress> addressOf(QStringView host)
{
    if (host.startsWith(u'.'))
        host = host.mid(1);
    QHostAddress address;
    if (!address.setAddress(host.toString()))
        return std::nullopt;
    return address;
}

bool isAddress(const QUrl &url)
{
    return addressOf(url.host()).has_value();
}

// An address matches only itself: a response from one names no other, and a leading dot
// widens it to nothing. False for a cookie to drop; a kept one is bound to that very host.
bool bindToAddress(QNetworkCookie &cookie, const QUrl &url)
{
    const QString host = url.host();
    const auto hostAddress = addressOf(host);
    const auto domainAddress = cookie.domain().isEmpty() ? hostAddress : addressOf(cookie.domain());
    if (!hostAddress && !domainAddress)
        return true;
    if (!hostAddress || domainAddress != hostAddress)
        return false;
    cookie.setDomain(host);
    return true;
}

// A control character but the tab would end the cookie, or the header it goes out in.
bool isSendable(const QNetworkCookie &cookie)
{
    return HTTPMessage::isFieldValue(cookie.name()) && HTTPMessage::isFieldValue(cookie.value());
}

} // namespace

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
    QList<QNetworkCookie> cookies = m_jar->cookiesForUrl(url);
    // The jar lets a domain such as ".1" reach every address that ends in it.
    if (isAddress(url))
        cookies.removeIf(
            [&](const QNetworkCookie &cookie) { return cookie.domain() != url.host(); });
    return cookies;
}

void CookieStorage::setCookiesFromUrl(const QList<QNetworkCookie> &cookies, const QUrl &url)
{
    QList<QNetworkCookie> kept;
    for (QNetworkCookie cookie : cookies) {
        if (!bindToAddress(cookie, url))
            continue;
        // The jar reads a name without a leading dot as a Domain attribute and widens it to
        // every name below; a cookie that came without one must stay with its host alone.
        if (cookie.domain() == url.host() && !isAddress(url))
            cookie.setDomain(QString());
        kept.append(cookie);
    }
    QMutexLocker lock(&m_mutex);
    m_jar->setCookiesFromUrl(kept, url);
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
            if (cookie.name().isEmpty() || !isSendable(cookie))
                continue;
            cookie.normalize(url);
            if (bindToAddress(cookie, url))
                result.append(cookie);
        }
    }
    return result;
}
