#include "platform/ApplicationFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace ApplicationFolders {

namespace {
QString ensured(QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    if (!path.isEmpty())
        QDir().mkpath(path);
    return path;
}
} // namespace

QString configuration()
{
    return ensured(QStandardPaths::AppConfigLocation);
}
QString data()
{
    return ensured(QStandardPaths::AppDataLocation);
}
QString caches()
{
    return ensured(QStandardPaths::CacheLocation);
}
QString temporary()
{
    return QDir::tempPath();
}

} // namespace ApplicationFolders
