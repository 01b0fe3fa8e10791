#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>

// The authorities every TLS connection of the program trusts: the system's, plus the PEM
// file named by TROVANEL_EXTRA_CA (tests point it at their own authority).
namespace TrustedCertificates {

// The default TLS configuration with the extra authorities added.
QSslConfiguration configuration();

} // namespace TrustedCertificates
