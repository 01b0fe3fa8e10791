#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

#include <optional>

// The certificate a client shows when the server asks for one.
struct TlsClientIdentity
{
    QSslCertificate certificate;
    QSslKey privateKey;
    QList<QSslCertificate> chain;

    friend bool operator==(const TlsClientIdentity &, const TlsClientIdentity &) = default;
};

// TLS options of one exchange. The identity is optional rather than empty: an empty certificate
// costs a trip through the TLS back end on every exchange, https or not.
struct TlsSettings
{
    bool validatesCertificateChain = true;
    std::optional<TlsClientIdentity> clientIdentity;

    friend bool operator==(const TlsSettings &, const TlsSettings &) = default;
};

// Where a socket leads: through which proxy to which origin, with which TLS options. An idle
// socket serves a later exchange only on the same route.
struct HTTPRoute
{
    enum class Proxy
    {
        None,
        Http,
        Socks
    };

    Proxy proxy = Proxy::None;
    QString proxyHost;
    quint16 proxyPort = 0;
    bool https = false;
    QString host;
    quint16 port = 0;
    TlsSettings tls;

    // An https origin behind an HTTP proxy is reached through a CONNECT tunnel.
    bool needsTunnel() const { return https && proxy == Proxy::Http; }

    friend bool operator==(const HTTPRoute &, const HTTPRoute &) = default;
};
