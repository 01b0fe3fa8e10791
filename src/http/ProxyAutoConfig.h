#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

// One proxy a configuration script names, or a direct connection.
struct ProxyEntry
{
    enum class Type
    {
        Direct,
        Http,
        Https,
        Socks
    };

    Type type = Type::Direct;
    QString host;
    quint16 port = 0;

    friend bool operator==(const ProxyEntry &, const ProxyEntry &) = default;
};

// Proxy auto-configuration scripts: FindProxyForURL evaluated with the usual helper functions.
class ProxyAutoConfig
{
public:
    // The proxies the script at pacUrl names for url. An unreadable script gives an empty list
    // (connect directly); one that cannot be evaluated gives nullopt. Reading a remote script
    // blocks for up to ten seconds, so this must not run on the engine's network thread.
    static std::optional<QList<ProxyEntry>> proxiesForURL(const QUrl &url, const QUrl &pacUrl);
    // A script still running after timeLimit counts as one that cannot be evaluated.
    static constexpr std::chrono::milliseconds DefaultTimeLimit{2000};
    static std::optional<QList<ProxyEntry>>
    proxiesForScript(const QString &script, const QUrl &url,
                     std::chrono::milliseconds timeLimit = DefaultTimeLimit);
    // "PROXY a:8080; SOCKS b:1080; DIRECT" as entries, in order; unknown items are skipped.
    static QList<ProxyEntry> parseResult(const QString &result);
};
