#include "platform/TrustedCertificates.h"

#include "platform/Logging.h"

#include <QFile>

namespace TrustedCertificates {

QList<QSslCertificate> extra()
{
    const QString path = qEnvironmentVariable("TROVANEL_EXTRA_CA");
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcPlatform) << "Cannot read the extra certificate authority" << path;
        return {};
    }
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(file.readAll());
    if (certificates.isEmpty())
        qCWarning(lcPlatform) << "No certificate in" << path;
    return certificates;
}

QSslConfiguration configuration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QList<QSslCertificate> certificates = extra();
    if (!certificates.isEmpty())
        configuration.addCaCertificates(certificates);
    return configuration;
}

} // namespace TrustedCertificates
