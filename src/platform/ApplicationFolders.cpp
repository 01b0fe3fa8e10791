#include "platform/ApplicationFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool makePrivate(const QString &folder, QString *problem)
{
    const QByteArray name = QFile::encodeName(folder);
    QDir().mkpath(QFileInfo(folder).absolutePath());
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // Opened without following a link, so that what is checked is what is changed.
    const int descriptor =
        ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
        *problem = errno == ELOOP || errno == ENOTDIR
                       ? QStringLiteral("something other than a folder stands there")
                       : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat info = {};
    bool made = ::fstat(descriptor, &info) == 0;
    if (made && info.st_uid != ::geteuid()) {
        *problem = QStringLiteral("the folder belongs to another user");
        made = false;
    } else if (made && (info.st_mode & 077) != 0 && ::fchmod(descriptor, 0700) != 0) {
        *problem = QString::fromLocal8Bit(std::strerror(errno));
        made = false;
    }
    ::close(descriptor);
    return made;
}

} // namespace ApplicationFolders
