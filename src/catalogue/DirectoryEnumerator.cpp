#include "catalogue/DirectoryEnumerator.h"

#include "platform/PathUtilities.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

namespace {

struct RawEntry
{
    QString name;
    bool isDirectory;
};

QString systemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

void tell(const DirectoryEnumerator::UnreadableVisitor &passedOver,
          const DirectoryEnumerator::Unreadable &unreadable)
{
    if (passedOver)
        passedOver(unreadable);
}

// Reads the whole listing first, so that no folder stays open while its sub-folders are read.
QList<RawEntry> readFolder(const QString &folder,
                           const DirectoryEnumerator::UnreadableVisitor &passedOver)
{
    QList<RawEntry> entries;
    const QByteArray nativeFolder = QFile::encodeName(folder);
    DIR *dir = ::opendir(nativeFolder.constData());
    if (!dir) {
        // A folder gone since it was listed itself holds nothing to miss.
        if (errno != ENOENT && errno != ENOTDIR)
            tell(passedOver, {folder, systemReason(errno), true, true});
        return entries;
    }
    for (;;) {
        errno = 0;
        const dirent *item = ::readdir(dir);
        if (!item) {
            if (errno != 0)
                tell(passedOver, {folder, systemReason(errno), true, true});
            break;
        }
        const QByteArray bytes(item->d_name);
        if (bytes == "." || bytes == "..")
            continue;
        bool isDirectory = item->d_type == DT_DIR;
        if (item->d_type == DT_UNKNOWN) {
            struct stat info;
            const QByteArray path = nativeFolder + '/' + bytes;
            isDirectory = ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        const QString name = QFile::decodeName(bytes);
        if (QFile::encodeName(name) != bytes) {
            tell(passedOver, {PathUtilities::appendingPathComponent(folder, name),
                              QStringLiteral("its name is not valid in the file system's "
                                             "encoding (%1)")
                                  .arg(QString::fromLatin1(bytes.toPercentEncoding("/"))),
                              false, isDirectory});
            continue;
        }
        entries.append({name, isDirectory});
    }
    ::closedir(dir);
    return entries;
}

bool walk(const QString &root, const QString &relativeFolder, bool deep,
          const DirectoryEnumerator::Visitor &visit,
          const DirectoryEnumerator::UnreadableVisitor &passedOver)
{
    const QString folder = relativeFolder.isEmpty()
                               ? root
                               : PathUtilities::appendingPathComponent(root, relativeFolder);
    const QList<RawEntry> entries = readFolder(folder, passedOver);
    QList<QString> subfolders;
    for (const RawEntry &raw : entries) {
        DirectoryEnumerator::Entry entry;
        entry.relativePath =
            relativeFolder.isEmpty() ? raw.name : relativeFolder + QLatin1Char('/') + raw.name;
        entry.path = PathUtilities::appendingPathComponent(folder, raw.name);
        entry.isDirectory = raw.isDirectory;
        if (!visit(entry))
            return false;
        if (deep && raw.isDirectory)
            subfolders.append(entry.relativePath);
    }
    for (const QString &subfolder : std::as_const(subfolders)) {
        if (!walk(root, subfolder, deep, visit, passedOver))
            return false;
    }
    return true;
}

} // namespace

bool DirectoryEnumerator::enumerate(const QString &folder, bool deep, const Visitor &visit,
                                    const UnreadableVisitor &passedOver)
{
    return walk(folder, QString(), deep, visit, passedOver);
}
