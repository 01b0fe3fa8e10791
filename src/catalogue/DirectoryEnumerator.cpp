#include "catalogue/DirectoryEnumerator.h"

#include "platform/Logging.h"
#include "platform/PathUtilities.h"

#include <QFile>
#include <QList>

#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

namespace {

struct RawEntry
{
    QString name;
    bool isDirectory;
};

// Reads the whole listing first, so that no folder stays open while its sub-folders are read.
QList<RawEntry> readFolder(const QString &folder)
{
    QList<RawEntry> entries;
    const QByteArray nativeFolder = QFile::encodeName(folder);
    DIR *dir = ::opendir(nativeFolder.constData());
    if (!dir)
        return entries;
    while (const dirent *item = ::readdir(dir)) {
        const QByteArray bytes(item->d_name);
        if (bytes == "." || bytes == "..")
            continue;
        const QString name = QFile::decodeName(bytes);
        if (QFile::encodeName(name) != bytes) {
            qCWarning(lcCatalogue).noquote()
                << QStringLiteral("Skipping an entry of %1 whose name is not valid in the file "
                                  "system's encoding: %2")
                       .arg(folder, QString::fromLatin1(bytes.toPercentEncoding("/")));
            continue;
        }
        bool isDirectory = item->d_type == DT_DIR;
        if (item->d_type == DT_UNKNOWN) {
            struct stat info;
            const QByteArray path = nativeFolder + '/' + bytes;
            isDirectory = ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        entries.append({name, isDirectory});
    }
    ::closedir(dir);
    return entries;
}

bool walk(const QString &root, const QString &relativeFolder, bool deep,
          const DirectoryEnumerator::Visitor &visit)
{
    const QString folder = relativeFolder.isEmpty()
                               ? root
                               : PathUtilities::appendingPathComponent(root, relativeFolder);
    const QList<RawEntry> entries = readFolder(folder);
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
        if (!walk(root, subfolder, deep, visit))
            return false;
    }
    return true;
}

} // namespace

bool DirectoryEnumerator::enumerate(const QString &folder, bool deep, const Visitor &visit)
{
    return walk(folder, QString(), deep, visit);
}
