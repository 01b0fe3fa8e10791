#include "catalogue/FileManager.h"

#include "platform/PathUtilities.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <filesystem>
#include <system_error>

namespace FileManager {

namespace {

std::filesystem::path nativePath(const QString &path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

Error appFolderError(AppFolderError code, const char *description,
                     QStandardPaths::StandardLocation directory, SearchPathDomain domain)
{
    return Error::withDescription(
        AppFolderErrorDomain, code, QCoreApplication::translate("Errors", description),
        {{SearchPathDirectoryKey, int(directory)}, {SearchPathDomainMaskKey, int(domain)}});
}

} // namespace

QString findOrCreateDirectory(QStandardPaths::StandardLocation directory, SearchPathDomain domain,
                              const QString &component, Error *error)
{
    const QString base =
        domain == SearchPathDomain::User ? QStandardPaths::writableLocation(directory) : QString();
    if (base.isEmpty()) {
        setError(error, appFolderError(
                            NoPathForDirectory,
                            QT_TRANSLATE_NOOP("Errors", "No path found for directory in domain."),
                            directory, domain));
        return QString();
    }
    const QString path =
        component.isEmpty() ? base : PathUtilities::appendingPathComponent(base, component);

    const QFileInfo info(path);
    if (info.isDir()) {
        setError(error, Error());
        return path;
    }
    if (info.exists() || info.isSymLink()) {
        setError(error,
                 appFolderError(
                     FileExistsAtDirectory,
                     QT_TRANSLATE_NOOP("Errors", "File exists at requested directory location."),
                     directory, domain));
        return QString();
    }
    std::error_code failure;
    std::filesystem::create_directories(nativePath(path), failure);
    if (failure) {
        setError(error, Error::withDescription(PosixErrorDomain, failure.value(),
                                               QString::fromStdString(failure.message())));
        return QString();
    }
    setError(error, Error());
    return path;
}

QString applicationSupportDirectory()
{
    return findOrCreateDirectory(QStandardPaths::GenericDataLocation, SearchPathDomain::User,
                                 QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                                 nullptr);
}

bool fileExists(const QString &path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.exists() && !info.isDir();
}

bool folderExists(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

void deleteFile(const QString &path)
{
    // "." or ".." would name a folder other than the one written, and a trailing slash
    // would reach through a link into its target.
    if (!path.startsWith(QLatin1Char('/')))
        return;
    const QStringList components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.isEmpty() || components.contains(QStringLiteral(".")) ||
        components.contains(QStringLiteral("..")))
        return;
    std::error_code ignored;
    std::filesystem::remove_all(nativePath(QLatin1Char('/') + components.join(QLatin1Char('/'))),
                                ignored);
}

bool moveFile(const QString &source, const QString &destination)
{
    if (source.isEmpty() || destination.isEmpty())
        return false;
    std::error_code failure;
    std::filesystem::rename(nativePath(source), nativePath(destination), failure);
    return !failure;
}

} // namespace FileManager
