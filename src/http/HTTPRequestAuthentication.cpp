// The authenticating half of HTTPRequest: credentials sent before and after challenges, the
// session stores, questions to the delegate, and the choice of a proxy.
#include "http/HTTPRequest.h"

#include "http/CredentialStorage.h"
#include "http/HTTPAuthentication.h"
#include "http/HTTPMessage.h"
#include "http/HTTPRequestError.h"
#include "http/HTTPResponseHead.h"
#include "http/HTTPStream.h"
#include "http/NetworkThread.h"
#include "http/ProxyAutoConfig.h"
#include "http/SelectorCall.h"
#include "http/SystemProxies.h"

#include "platform/MainThread.h"

#include <mutex>

namespace {

// A server that keeps challenging credentials it accepted would otherwise be answered forever.
constexpr int MaxAuthenticationAttempts = 6;

constexpr int AnswersServer = 1;
constexpr int AnswersProxy = 2;

const QString Basic = QStringLiteral("Basic");

std::recursive_mutex &delegateAuthenticationLock()
{
    static std::recursive_mutex lock;
    return lock;
}

QByteArray questionName(bool proxy)
{
    return proxy ? "proxyAuthenticationNeededForRequest" : "authenticationNeededForRequest";
}

std::shared_ptr<const Credentials> pair(const QString &username, const QString &password,
                                        const QString &domain)
{
    if (username.isNull() || password.isNull())
        return nullptr;
    return std::make_shared<const Credentials>(Credentials{username, password, domain});
}

// An account of a Windows domain, by its own field or written DOMAIN\user: its password is
// meant for NTLM and must never go out in clear before the server asks.
bool isDomainAccount(const QString &username, const QString &domain)
{
    return !domain.isEmpty() || username.contains(QLatin1Char('\\'));
}

// The proxies to try for url: from the script when one is named, else from the system's
// settings. Nullopt when a script cannot be evaluated.
std::optional<QList<ProxyEntry>> proxiesFor(const QUrl &url, const QUrl &pacUrl)
{
    if (pacUrl.isValid() && !pacUrl.isEmpty())
        return ProxyAutoConfig::proxiesForURL(url, pacUrl);
    return SystemProxies::shared().proxiesForURL(url);
}

} // namespace

HTTPRequest::AuthenticationFields HTTPRequest::authenticationFields(bool proxy)
{
    if (proxy)
        return {&m_proxyUsername,
                &m_proxyPassword,
                &m_proxyDomain,
                &m_proxyAuthentication,
                &m_proxyCredentials,
                &m_proxyAuthenticationScheme,
                &m_proxyAuthenticationRealm,
                &m_proxyAuthenticationRetryCount};
    return {&m_username,
            &m_password,
            &m_domain,
            &m_requestAuthentication,
            &m_requestCredentials,
            &m_authenticationScheme,
            &m_authenticationRealm,
            &m_authenticationRetryCount};
}

int HTTPRequest::authenticationAnswers(QObject *receiver)
{
    if (!receiver)
        return 0;
    int answers = 0;
    if (SelectorCall::methodIndex(receiver, questionName(false), "HTTPRequest*") >= 0)
        answers |= AnswersServer;
    if (SelectorCall::methodIndex(receiver, questionName(true), "HTTPRequest*") >= 0)
        answers |= AnswersProxy;
    return answers;
}

// Before any challenge.

void HTTPRequest::addBasicAuthenticationHeader(const QString &username, const QString &password)
{
    addRequestHeader(
        QStringLiteral("Authorization"),
        QString::fromLatin1(HTTPAuthentication::basicAuthorization(username, password)));
}

void HTTPRequest::applyAuthorizationHeader()
{
    if (!m_shouldPresentCredentialsBeforeChallenge)
        return;
    std::optional<SessionCredentialEntry> entry;
    if (m_useSessionPersistence)
        entry = sessionEntry(false);
    if (!m_username.isNull() && !m_password.isNull() && !isDomainAccount(m_username, m_domain) &&
        (!entry || entry->authenticationScheme == Basic))
        addBasicAuthenticationHeader(m_username, m_password);
    if (entry &&
        !(m_requestHeaders && m_requestHeaders->contains(QStringLiteral("Authorization")))) {
        if (!entry->authentication)
            addBasicAuthenticationHeader(entry->credentials->username,
                                         entry->credentials->password);
        else if (!entry->authentication->apply(*m_request, *entry->credentials))
            removeSessionEntry(false, entry->credentials);
    }
    if (!m_useSessionPersistence)
        return;
    if (const auto proxyEntry = sessionEntry(true)) {
        if (!proxyEntry->authentication ||
            !proxyEntry->authentication->apply(*m_request, *proxyEntry->credentials))
            removeSessionEntry(true, proxyEntry->credentials);
    }
}

void HTTPRequest::storePresentedBasicCredentials()
{
    if (m_requestAuthentication || m_username.isNull() || m_password.isNull() ||
        !m_useSessionPersistence || !m_request)
        return;
    // Only credentials this request really sent as Basic; a domain means they are meant for
    // another scheme and must not go out in clear later.
    if (m_request->header("Authorization") !=
        HTTPAuthentication::basicAuthorization(m_username, m_password))
        return;
    SessionCredentialEntry entry;
    entry.credentials = pair(m_username, m_password, QString());
    entry.authenticationScheme = Basic;
    entry.url = m_url;
    SessionCredentialStore::storeAuthenticationCredentials(entry);
}

// Session stores.

std::optional<SessionCredentialEntry> HTTPRequest::sessionEntry(bool proxy) const
{
    if (proxy)
        return SessionCredentialStore::findSessionProxyAuthenticationCredentials(m_proxyHost,
                                                                                 m_proxyPort);
    return SessionCredentialStore::findSessionAuthenticationCredentials(m_url, m_responseStatusCode,
                                                                        m_authenticationRealm);
}

void HTTPRequest::removeSessionEntry(bool proxy,
                                     const std::shared_ptr<const Credentials> &credentials)
{
    if (!credentials)
        return;
    if (proxy)
        SessionCredentialStore::removeProxyAuthenticationCredentials(credentials);
    else
        SessionCredentialStore::removeAuthenticationCredentials(credentials);
}

// After a challenge.

void HTTPRequest::handleAuthenticationChallenge()
{
    QMutexLocker lock(&m_cancelledLock);
    if (const HTTPResponseHead *head = m_readStream ? m_readStream->responseHead() : nullptr) {
        m_challengeHead = std::make_unique<HTTPResponseHead>(*head);
        if (const auto &authentication =
                *authenticationFields(m_authenticationNeeded == 2).authentication)
            authentication->update(*head);
    }
    attemptToApplyCredentialsAndResume();
}

void HTTPRequest::attemptToApplyCredentialsAndResume()
{
    QMutexLocker lock(&m_cancelledLock);
    m_waitingForCredentials = false;
    if (!m_error.isNull() || m_cancelled)
        return;
    resumeAuthentication(m_authenticationNeeded == 2);
}

void HTTPRequest::resumeAuthentication(bool proxy)
{
    const AuthenticationFields fields = authenticationFields(proxy);
    if (*fields.retryCount >= MaxAuthenticationAttempts) {
        cancelLoad();
        failWithError(HTTPRequestError::authenticationNeeded());
        return;
    }
    if (!*fields.authentication && !makeAuthentication(proxy))
        return;
    const auto &authentication = *fields.authentication;
    *fields.realm = authentication->requiresAccountDomain() ? QString() : authentication->realm();
    HTTPAuthentication::Rejection why = HTTPAuthentication::Rejection::None;
    if (authentication->isValid(&why))
        answerChallenge(proxy);
    else
        answerRejection(proxy, why == HTTPAuthentication::Rejection::BadPassword);
}

bool HTTPRequest::makeAuthentication(bool proxy)
{
    const AuthenticationFields fields = authenticationFields(proxy);
    if (m_challengeHead)
        *fields.authentication = HTTPAuthentication::createFromResponse(*m_challengeHead, proxy);
    if (!*fields.authentication) {
        cancelLoad();
        failWithError(HTTPRequestError::withText(
            HTTPRequestError::InternalErrorWhileApplyingCredentials,
            tr("Failed to get authentication object from response headers")));
        return false;
    }
    *fields.scheme = (*fields.authentication)->method();
    return true;
}

Error HTTPRequest::applyFailure(bool proxy)
{
    return HTTPRequestError::withText(HTTPRequestError::InternalErrorWhileApplyingCredentials,
                                      proxy ? tr("Failed to apply proxy credentials to request")
                                            : tr("Failed to apply credentials to request"));
}

void HTTPRequest::answerChallenge(bool proxy)
{
    cancelLoad();
    if (const auto earlier = *authenticationFields(proxy).credentials) {
        answerWithEarlierCredentials(proxy, earlier);
        return;
    }
    QMutexLocker authenticationLock(&delegateAuthenticationLock());
    if (!m_error.isNull() || m_cancelled)
        return;
    if (m_useSessionPersistence) {
        const auto entry = sessionEntry(proxy);
        if (entry && applyCredentials(proxy, entry->credentials)) {
            authenticationLock.unlock();
            startRequest();
            return;
        }
    }
    if (const auto found = findCredentials(proxy)) {
        const bool applied = applyCredentials(proxy, found);
        authenticationLock.unlock();
        if (applied)
            startRequest();
        else
            failWithError(applyFailure(proxy));
        return;
    }
    if (askDelegateForCredentials(proxy))
        return;
    authenticationLock.unlock();
    failWithError(HTTPRequestError::authenticationNeeded());
}

void HTTPRequest::answerWithEarlierCredentials(bool proxy,
                                               const std::shared_ptr<const Credentials> &earlier)
{
    const AuthenticationFields fields = authenticationFields(proxy);
    // NTLM answers in two legs; a challenge after both refuses the credentials.
    if (*fields.scheme == QLatin1String("NTLM") && *fields.retryCount > 1) {
        failWithError(*fields.retryCount == 2 ? HTTPRequestError::authenticationNeeded()
                                              : applyFailure(proxy));
        return;
    }
    if (applyCredentials(proxy, earlier))
        startRequest();
    else
        failWithError(applyFailure(proxy));
}

void HTTPRequest::answerRejection(bool proxy, bool badCredentials)
{
    const AuthenticationFields fields = authenticationFields(proxy);
    fields.authentication->reset();
    if (badCredentials) {
        QMutexLocker authenticationLock(&delegateAuthenticationLock());
        removeSessionEntry(proxy, *fields.credentials);
        fields.credentials->reset();
        if (!m_error.isNull() || m_cancelled)
            return;
        if (m_useSessionPersistence && sessionEntry(proxy)) {
            authenticationLock.unlock();
            resumeAuthentication(proxy);
            return;
        }
        m_lastActivityTime.reset();
        if (askDelegateForCredentials(proxy))
            return;
    }
    cancelLoad();
    failWithError(HTTPRequestError::authenticationNeeded());
}

std::shared_ptr<const Credentials> HTTPRequest::findCredentials(bool proxy)
{
    const AuthenticationFields fields = authenticationFields(proxy);
    QString domain;
    if ((*fields.authentication)->requiresAccountDomain()) {
        if (fields.domain->isNull())
            *fields.domain = QStringLiteral("");
        domain = *fields.domain;
    }
    if (!proxy) {
        if (auto fromUrl = pair(m_url.userName(), m_url.password(), domain))
            return fromUrl;
    }
    if (const auto main = m_mainRequest.lock()) {
        QMutexLocker mainLock(&main->m_cancelledLock);
        const AuthenticationFields mainFields = main->authenticationFields(proxy);
        if (auto fromMain = pair(*mainFields.username, *mainFields.password, domain))
            return fromMain;
    }
    if (auto own = pair(*fields.username, *fields.password, domain))
        return own;
    if (proxy)
        return CredentialStorage::savedCredentialsForProxy(m_proxyHost, m_proxyPort, m_url.scheme(),
                                                           m_proxyAuthenticationRealm);
    if (m_useKeychainPersistence)
        return CredentialStorage::savedCredentialsForHost(
            m_url.host(), m_url.port(m_request ? m_request->port() : 0), m_url.scheme(),
            m_authenticationRealm);
    return nullptr;
}

bool HTTPRequest::applyCredentials(bool proxy,
                                   const std::shared_ptr<const Credentials> &credentials)
{
    const AuthenticationFields fields = authenticationFields(proxy);
    ++*fields.retryCount;
    const auto &authentication = *fields.authentication;
    if (!credentials || !authentication || !m_request)
        return false;
    if (!authentication->apply(*m_request, *credentials)) {
        removeSessionEntry(proxy, credentials);
        return false;
    }
    if (m_useKeychainPersistence) {
        if (proxy)
            CredentialStorage::saveCredentialsForProxy(credentials, m_proxyHost, m_proxyPort,
                                                       m_proxyAuthenticationRealm);
        else
            CredentialStorage::saveCredentials(credentials, m_url.host(),
                                               m_url.port(m_request->port()), m_url.scheme(),
                                               m_authenticationRealm);
    }
    if (m_useSessionPersistence) {
        SessionCredentialEntry entry;
        entry.credentials = credentials;
        entry.authenticationScheme = *fields.scheme;
        entry.authentication = authentication;
        if (proxy) {
            entry.host = m_proxyHost;
            entry.port = m_proxyPort;
            SessionCredentialStore::storeProxyAuthenticationCredentials(entry);
        } else {
            entry.url = m_url;
            if (!m_authenticationRealm.isNull())
                entry.realm = m_authenticationRealm;
            SessionCredentialStore::storeAuthenticationCredentials(entry);
        }
    }
    *fields.credentials = credentials;
    return true;
}

// Questions to the delegate, or to the queue when there is no delegate.

bool HTTPRequest::askDelegateForCredentials(bool proxy)
{
    const int answers = m_delegate ? m_delegateAuthenticationAnswers : m_queueAuthenticationAnswers;
    if (!(answers & (proxy ? AnswersProxy : AnswersServer)))
        return false;
    m_waitingForCredentials = true;
    const auto ask = [me = self(), proxy] {
        QPointer<QObject> target;
        {
            QMutexLocker lock(&me->m_cancelledLock);
            target = me->m_delegate ? me->m_delegate : me->m_queue;
        }
        if (target)
            SelectorCall::invoke(target.data(), questionName(proxy), me.get());
    };
    if (MainThread::isCurrent())
        ask();
    else
        MainThread::post(ask);
    return true;
}

void HTTPRequest::retryUsingSuppliedCredentials()
{
    NetworkThread::post([me = self()] { me->attemptToApplyCredentialsAndResume(); });
}

void HTTPRequest::cancelAuthentication()
{
    NetworkThread::post([me = self()] {
        QMutexLocker lock(&me->m_cancelledLock);
        me->m_waitingForCredentials = false;
        me->failAuthentication();
    });
}

// Proxies.

bool HTTPRequest::chooseProxy()
{
    QUrl url;
    QUrl pacUrl;
    {
        QMutexLocker lock(&m_cancelledLock);
        if (!m_proxyHost.isEmpty() || m_proxyPort != 0)
            return true;
        url = m_url;
        pacUrl = m_PACurl;
    }
    // Reading a script or the system's settings can block; the network thread never waits.
    const std::optional<QList<ProxyEntry>> proxies = proxiesFor(url, pacUrl);
    QMutexLocker lock(&m_cancelledLock);
    if (!proxies) {
        failWithError(HTTPRequestError::withText(
            HTTPRequestError::InternalErrorWhileBuildingRequest,
            tr("Unable to obtain information on proxy servers needed for request")));
        return false;
    }
    if (proxies->isEmpty() || proxies->first().host.isEmpty())
        return true;
    const ProxyEntry &first = proxies->first();
    m_proxyHost = first.host;
    m_proxyPort = first.port;
    m_proxyType = first.type == ProxyEntry::Type::Socks   ? QStringLiteral("SOCKS")
                  : first.type == ProxyEntry::Type::Https ? QStringLiteral("HTTPS")
                                                          : QStringLiteral("HTTP");
    return true;
}
