#include "platform/TrustedCertificates.h"

#include "platform/Logging.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <optional>

namespace TrustedCertificates {

namespace {

QList<QSslCertificate> readFrom(const QString &path)
{
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

} // namespace

QSslConfiguration configuration()
{
    // Reading and decoding the file for every request costs more than the request: it is
    // read again only when the variable names another file or the file changes.
    struct Source
    {
        QString path;
        QDateTime modified;
        qint64 size = -1;
        bool operator==(const Source &) const = default;
    };
    static QMutex mutex;
    static std::optional<Source> builtFrom;
    static QSslConfiguration built;

    Source source;
    source.path = qEnvironmentVariable("TROVANEL_EXTRA_CA");
    if (!source.path.isEmpty()) {
        const QFileInfo file(source.path);
        source.modified = file.lastModified();
        source.size = file.size();
    }
    QMutexLocker lock(&mutex);
    if (builtFrom != source) {
        built = QSslConfiguration::defaultConfiguration();
        const QList<QSslCertificate> certificates = readFrom(source.path);
        if (!certificates.isEmpty())
            built.addCaCertificates(certificates);
        builtFrom = source;
    }
    return built;
}

} // namespace TrustedCertificates
