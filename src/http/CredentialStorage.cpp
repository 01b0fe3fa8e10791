#include "http/CredentialStorage.h"

#include <QMap>
#include <QMutex>

#include <tuple>

namespace {

const QString ProxyProtocol = QStringLiteral("http-proxy");

struct Space
{
    QString host;
    int port;
    QString protocol;
    QString realm;

    friend bool operator<(const Space &a, const Space &b)
    {
        return std::tie(a.host, a.port, a.protocol, a.realm) <
               std::tie(b.host, b.port, b.protocol, b.realm);
    }
};

struct Store
{
    QMutex lock;
    QMap<Space, std::shared_ptr<const Credentials>> credentials;
};

Store &store()
{
    static Store instance;
    return instance;
}

void save(const Space &space, const std::shared_ptr<const Credentials> &credentials)
{
    QMutexLocker lock(&store().lock);
    store().credentials.insert(space, credentials);
}

std::shared_ptr<const Credentials> saved(const Space &space)
{
    QMutexLocker lock(&store().lock);
    return store().credentials.value(space);
}

void remove(const Space &space)
{
    QMutexLocker lock(&store().lock);
    store().credentials.remove(space);
}

} // namespace

void CredentialStorage::saveCredentials(const std::shared_ptr<const Credentials> &credentials,
                                        const QString &host, int port, const QString &protocol,
                                        const QString &realm)
{
    save({host, port, protocol, realm}, credentials);
}

void CredentialStorage::saveCredentialsForProxy(
    const std::shared_ptr<const Credentials> &credentials, const QString &host, int port,
    const QString &realm)
{
    save({host, port, ProxyProtocol, realm}, credentials);
}

std::shared_ptr<const Credentials>
CredentialStorage::savedCredentialsForHost(const QString &host, int port, const QString &protocol,
                                           const QString &realm)
{
    return saved({host, port, protocol, realm});
}

std::shared_ptr<const Credentials> CredentialStorage::savedCredentialsForProxy(const QString &host,
                                                                               int port,
                                                                               const QString &,
                                                                               const QString &realm)
{
    return saved({host, port, ProxyProtocol, realm});
}

void CredentialStorage::removeCredentialsForHost(const QString &host, int port,
                                                 const QString &protocol, const QString &realm)
{
    remove({host, port, protocol, realm});
}

void CredentialStorage::removeCredentialsForProxy(const QString &host, int port,
                                                  const QString &realm)
{
    remove({host, port, ProxyProtocol, realm});
}

void CredentialStorage::removeAllCredentials()
{
    QMutexLocker lock(&store().lock);
    store().credentials.clear();
}
