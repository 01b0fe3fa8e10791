#include "platform/DamagedFiles.h"

#include <QDateTime>
#include <QFile>

namespace DamagedFiles {

QString keepAside(const QString &path)
{
    const QString stem =
        path + QStringLiteral(".damaged-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddThhmmsszzz"));
    QString aside = stem;
    for (int n = 1; QFile::exists(aside); ++n)
        aside = stem + QLatin1Char('-') + QString::number(n);
    return QFile::rename(path, aside) ? aside : QString();
}

} // namespace DamagedFiles
