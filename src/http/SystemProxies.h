#pragma once

#include "http/ProxyAutoConfig.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QUrl>

#include <chrono>

// The proxies the system's settings name for a URL, remembered per scheme, host and port for a
// few seconds: asking the system costs as much as a small request on a kept-alive connection.
class SystemProxies
{
public:
    static constexpr std::chrono::seconds Lifetime{5};

    static SystemProxies &shared();
    QList<ProxyEntry> proxiesForURL(const QUrl &url);
    void clear();

private:
    struct Answer
    {
        QList<ProxyEntry> proxies;
        std::chrono::steady_clock::time_point expires;
    };
    static constexpr qsizetype MaxPlaces = 256;

    QMutex m_lock;
    QHash<QString, Answer> m_answers;
};
