#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

// TLS options of one exchange.
struct TlsSettings
{
    bool validatesCertificateChain = true;
    QSslCertificate localCertificate;
    QSslKey privateKey;
    QList<QSslCertificate> localCertificateChain;

    friend bool operator==(const TlsSettings &, const TlsSettings &) = default;
};

// Where a socket leads: through which proxy to which origin, with which TLS options. An idle
// socket serves a later exchange only on the same route.
struct HttpRoute
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

    friend bool operator==(const HttpRoute &, const HttpRoute &) = default;
};
