// "Set-Cookie" values of a response: the first line is the address answered, the others
// the values. The cookies go through the store every request uses, then leave it.
#include "FuzzSupport.h"
#include "http/CookieStorage.h"

#include <QHostAddress>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QList<QByteArray> lines = Fuzz::bytes(data, size).split('\n');
    const QUrl url(QString::fromUtf8(lines.takeFirst()));
    const QList<QNetworkCookie> cookies = CookieStorage::cookiesFromResponse(lines, url);
    for (const QNetworkCookie &cookie : cookies)
        FUZZ_CHECK(!cookie.name().isEmpty());

    CookieStorage &storage = CookieStorage::shared();
    storage.setCookiesFromUrl(cookies, url);
    storage.cookiesForUrl(url);
    // An address keeps its cookies to itself.
    if (!QHostAddress(url.host()).isNull()) {
        for (const QNetworkCookie &cookie : storage.allCookies())
            FUZZ_CHECK(cookie.domain() == url.host());
    }
    for (const QNetworkCookie &cookie : storage.allCookies())
        storage.deleteCookie(cookie);
    FUZZ_CHECK(storage.allCookies().isEmpty());
    return 0;
}
