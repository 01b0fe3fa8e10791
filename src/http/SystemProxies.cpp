#include "http/SystemProxies.h"

#include <QNetworkProxyFactory>

namespace {

QList<ProxyEntry> askTheSystem(const QUrl &url)
{
    QList<ProxyEntry> entries;
    for (const QNetworkProxy &proxy :
         QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url))) {
        ProxyEntry entry;
        if (proxy.type() == QNetworkProxy::HttpProxy ||
            proxy.type() == QNetworkProxy::HttpCachingProxy)
            entry.type = ProxyEntry::Type::Http;
        else if (proxy.type() == QNetworkProxy::Socks5Proxy)
            entry.type = ProxyEntry::Type::Socks;
        if (entry.type != ProxyEntry::Type::Direct) {
            entry.host = proxy.hostName();
            entry.port = proxy.port();
        }
        entries.append(entry);
    }
    return entries;
}

} // namespace

SystemProxies &SystemProxies::shared()
{
    static SystemProxies instance;
    return instance;
}

QList<ProxyEntry> SystemProxies::proxiesForURL(const QUrl &url)
{
    const QString place = url.scheme().toLower() + QLatin1Char('|') + url.host().toLower() +
                          QLatin1Char('|') + QString::number(url.port());
    const auto now = std::chrono::steady_clock::now();
    {
        QMutexLocker lock(&m_lock);
        const auto it = m_answers.constFind(place);
        if (it != m_answers.cend() && it->expires > now)
            return it->proxies;
    }
    // Asked outside the lock: the system's answer may take a while.
    QList<ProxyEntry> proxies = askTheSystem(url);
    QMutexLocker lock(&m_lock);
    if (m_answers.size() >= MaxPlaces)
        m_answers.clear();
    m_answers.insert(place, {proxies, now + Lifetime});
    return proxies;
}

void SystemProxies::clear()
{
    QMutexLocker lock(&m_lock);
    m_answers.clear();
}
