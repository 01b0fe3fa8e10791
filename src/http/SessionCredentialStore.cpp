#include "http/SessionCredentialStore.h"

#include <QMutexLocker>

#include <mutex>

namespace {

struct Stores
{
    std::recursive_mutex lock;
    QList<SessionCredentialEntry> servers;
    QList<SessionCredentialEntry> proxies;
};

Stores &stores()
{
    static Stores instance;
    return instance;
}

void removeFrom(QList<SessionCredentialEntry> &list,
                const std::shared_ptr<const Credentials> &credentials)
{
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list[i].credentials == credentials) {
            list.removeAt(i);
            return;
        }
    }
}

} // namespace

QList<SessionCredentialEntry> SessionCredentialStore::sessionCredentialsStore()
{
    QMutexLocker lock(&stores().lock);
    return stores().servers;
}

QList<SessionCredentialEntry> SessionCredentialStore::sessionProxyCredentialsStore()
{
    QMutexLocker lock(&stores().lock);
    return stores().proxies;
}

void SessionCredentialStore::storeAuthenticationCredentials(const SessionCredentialEntry &entry)
{
    QMutexLocker lock(&stores().lock);
    removeAuthenticationCredentials(entry.credentials);
    stores().servers.append(entry);
}

void SessionCredentialStore::storeProxyAuthenticationCredentials(
    const SessionCredentialEntry &entry)
{
    QMutexLocker lock(&stores().lock);
    removeProxyAuthenticationCredentials(entry.credentials);
    stores().proxies.append(entry);
}

void SessionCredentialStore::removeAuthenticationCredentials(
    const std::shared_ptr<const Credentials> &credentials)
{
    QMutexLocker lock(&stores().lock);
    removeFrom(stores().servers, credentials);
}

void SessionCredentialStore::removeProxyAuthenticationCredentials(
    const std::shared_ptr<const Credentials> &credentials)
{
    QMutexLocker lock(&stores().lock);
    removeFrom(stores().proxies, credentials);
}

std::optional<SessionCredentialEntry> SessionCredentialStore::findSessionAuthenticationCredentials(
    const QUrl &url, int responseStatusCode, const QString &authenticationRealm)
{
    QMutexLocker lock(&stores().lock);
    const auto realmFits = [&](const SessionCredentialEntry &entry) {
        return responseStatusCode == 0 || !entry.realm || *entry.realm == authenticationRealm;
    };
    for (const SessionCredentialEntry &entry : stores().servers) {
        if (entry.url == url && realmFits(entry))
            return entry;
    }
    for (const SessionCredentialEntry &entry : stores().servers) {
        if (entry.url.host() == url.host() && entry.url.scheme() == url.scheme() &&
            entry.url.port() == url.port() && realmFits(entry))
            return entry;
    }
    return std::nullopt;
}

std::optional<SessionCredentialEntry>
SessionCredentialStore::findSessionProxyAuthenticationCredentials(const QString &proxyHost,
                                                                  int proxyPort)
{
    QMutexLocker lock(&stores().lock);
    for (const SessionCredentialEntry &entry : stores().proxies) {
        if (entry.host == proxyHost && entry.port == proxyPort)
            return entry;
    }
    return std::nullopt;
}

void SessionCredentialStore::clearSessionCredentials()
{
    QMutexLocker lock(&stores().lock);
    stores().servers.clear();
}
