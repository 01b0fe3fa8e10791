// Responses from several hosts setting cookies in the store every request shares, then requests
// to those hosts, to hosts beside, above and below them, and to each cookie's domain. A line
// that is an http or https address starts a response from it; the lines after it are its
// "Set-Cookie" values.
#include "FuzzSupport.h"
#include "http/CookieStorage.h"
#include "http/HTTPMessage.h"
#include "http/SessionCookies.h"

#include <QDateTime>
#include <QHostAddress>
#include <QSet>

namespace {

struct Response
{
    QUrl url;
    QList<QByteArray> values;
};

QList<Response> responsesFrom(const QByteArray &input)
{
    QList<Response> responses;
    for (const QByteArray &line : input.split('\n')) {
        if (line.startsWith("http://") || line.startsWith("https://")) {
            responses.append({QUrl(QString::fromUtf8(line)), {}});
        } else if (!responses.isEmpty()) {
            responses.last().values.append(line);
        }
    }
    return responses;
}

bool isAddress(const QString &host)
{
    return !QHostAddress(host).isNull();
}

// Whether a cookie of this domain may go to the host: the host itself, or for a domain with a
// leading dot any name below it; an address only ever matches itself.
bool domainMatches(const QString &host, const QString &domain)
{
    if (host == domain)
        return true;
    if (isAddress(host) || !domain.startsWith(u'.'))
        return false;
    return host == domain.mid(1) || host.endsWith(domain);
}

bool pathMatches(QString path, const QString &cookiePath)
{
    if (path.isEmpty())
        path = QStringLiteral("/");
    if (!path.startsWith(cookiePath))
        return false;
    return path.size() == cookiePath.size() || cookiePath.endsWith(u'/') ||
           path.at(cookiePath.size()) == u'/';
}

// The hosts whose responses stored a cookie, by the cookie's identity.
using Setters = QHash<QByteArray, QSet<QString>>;

QByteArray identity(const QNetworkCookie &cookie)
{
    return cookie.domain().toUtf8() + '\0' + cookie.path().toUtf8() + '\0' + cookie.name();
}

void checkOffered(const QUrl &url, const Setters &setters, const QDateTime &before)
{
    const QString host = url.host();
    QStringList pairs;
    for (const QNetworkCookie &cookie : CookieStorage::shared().cookiesForUrl(url)) {
        FUZZ_CHECK(domainMatches(host, cookie.domain()), "a cookie was offered to another host");
        FUZZ_CHECK(pathMatches(url.path(), cookie.path()), "a cookie was offered to another path");
        FUZZ_CHECK(!cookie.isSecure() || url.scheme() == QLatin1String("https"),
                   "a secure cookie was offered over plain HTTP");
        FUZZ_CHECK(cookie.isSessionCookie() || cookie.expirationDate() >= before,
                   "an expired cookie was offered");
        const auto setter = setters.constFind(identity(cookie));
        FUZZ_CHECK(setter != setters.cend(), "a cookie was offered that no response set");
        const bool fromItsDomain =
            std::any_of(setter->begin(), setter->end(),
                        [&](const QString &from) { return domainMatches(from, cookie.domain()); });
        FUZZ_CHECK(fromItsDomain, "a cookie was stored for a domain its setter is not in");
        FUZZ_CHECK(!cookie.name().isEmpty(), "a cookie without a name was offered");
        pairs.append(QString::fromUtf8(cookie.name() + '=' + cookie.value()));
    }
    // As the request writes its "Cookie" header.
    FUZZ_CHECK(HTTPMessage::isFieldValue(pairs.join(QStringLiteral("; ")).toUtf8()),
               "the cookies offered would make the request fail");
}

// The hosts to ask: each response's, the names beside and around it, and each domain's.
QList<QUrl> probes(const QList<Response> &responses)
{
    QSet<QString> hosts;
    QSet<QString> paths{QStringLiteral("/")};
    for (const Response &response : responses) {
        const QString host = response.url.host();
        hosts << host << QStringLiteral("x.") + host << QStringLiteral("x") + host
              << host.section(u'.', 1);
        paths << response.url.path();
    }
    // A few cookies' domains and paths make enough names to ask.
    for (const QNetworkCookie &cookie : CookieStorage::shared().allCookies().mid(0, 16)) {
        const QString domain = cookie.domain();
        hosts << domain << QStringLiteral("x") + domain
              << (domain.startsWith(u'.') ? domain.mid(1) : QStringLiteral("x.") + domain);
        paths << cookie.path() << cookie.path() + QStringLiteral("x")
              << cookie.path() + QStringLiteral("/x");
    }
    QList<QUrl> urls;
    for (const QString &host : std::as_const(hosts)) {
        for (const char *scheme : {"http", "https"}) {
            for (const QString &path : std::as_const(paths)) {
                QUrl url;
                url.setScheme(QLatin1String(scheme));
                url.setHost(host);
                url.setPath(path);
                if (url.isValid() && !url.host().isEmpty())
                    urls.append(url);
            }
        }
    }
    return urls;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<Response> responses = responsesFrom(Fuzz::bytes(data, size));
    if (responses.size() > 8)
        return 0;
    Setters setters;
    // As a response is read with cookies kept: stored, and listed for the session.
    for (const Response &response : responses) {
        const QList<QNetworkCookie> cookies =
            CookieStorage::cookiesFromResponse(response.values, response.url);
        CookieStorage::shared().setCookiesFromUrl(cookies, response.url);
        for (const QNetworkCookie &cookie : cookies) {
            SessionCookies::addSessionCookie(cookie);
            setters[identity(cookie)].insert(response.url.host());
        }
    }
    const QDateTime before = QDateTime::currentDateTimeUtc();
    for (const QUrl &url : probes(responses))
        checkOffered(url, setters, before);

    // Clearing the session drops every cookie it received.
    SessionCookies::setSessionCookies(std::nullopt);
    FUZZ_CHECK(CookieStorage::shared().allCookies().isEmpty(),
               "cookies outlived the session that received them");
    return 0;
}
