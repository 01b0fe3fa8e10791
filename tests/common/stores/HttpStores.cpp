#include "common/FreshStart.h"
#include "http/BandwidthThrottle.h"
#include "http/CookieStorage.h"
#include "http/CredentialStorage.h"
#include "http/HTTPRequest.h"
#include "http/SessionCredentialStore.h"
#include "http/SystemProxies.h"

namespace {

const bool registered = TestSupport::addStoreReset([] {
    HTTPRequest::setDefaultCache(nullptr);
    HTTPRequest::clearSession();
    for (const SessionCredentialEntry &entry :
         SessionCredentialStore::sessionProxyCredentialsStore())
        SessionCredentialStore::removeProxyAuthenticationCredentials(entry.credentials);
    CredentialStorage::removeAllCredentials();
    CookieStorage &cookies = CookieStorage::shared();
    for (const QNetworkCookie &cookie : cookies.allCookies())
        cookies.deleteCookie(cookie);
    BandwidthThrottle::shared().setMaxBandwidthPerSecond(0);
    SystemProxies::shared().clear();
});

} // namespace
