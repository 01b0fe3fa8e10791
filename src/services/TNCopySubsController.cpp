#include "services/TNCopySubsController.h"

#include "catalogue/FileManager.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/VideoExtensions.h"
#include "catalogue/VideoFile.h"
#include "platform/FileWriter.h"
#include "platform/Logging.h"
#include "platform/PathUtilities.h"
#include "services/TNZipFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

// Long enough that no writer still at work, in this program or another copy of it, is
// disturbed.
constexpr std::chrono::hours StaleTemporaryAge{24};

// Names from archives and services are names, never paths: only the last component counts.
QString plainFileName(QString name)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString last = PathUtilities::lastPathComponent(name);
    if (last == QLatin1String(".") || last == QLatin1String("..") || last == QLatin1String("/"))
        return QString();
    return last;
}

// Joins an extension with a dot, leaving out empty ones.
QString withExtension(const QString &path, const QString &extension)
{
    return extension.isEmpty() ? path : PathUtilities::appendingPathExtension(path, extension);
}

bool sameService(const Subtitle *subtitle, const QString &key)
{
    return subtitle->service().value_or(QString()).compare(key, Qt::CaseInsensitive) == 0;
}

bool entryMatchesService(const ZipEntry &entry, const Subtitle *subtitle)
{
    const QString fileName = subtitle->fileName().value_or(QString());
    if (sameService(subtitle, OpenSubtitlesServiceKey))
        return PathUtilities::pathExtension(entry.filename)
                   .compare(PathUtilities::pathExtension(fileName), Qt::CaseInsensitive) == 0;
    if (sameService(subtitle, PodnapisiServiceKey))
        return VideoExtensions::isSubtitleFile(entry.filename);
    if (sameService(subtitle, BetaSeriesServiceKey))
        return entry.filename.compare(fileName, Qt::CaseInsensitive) == 0;
    return false;
}

bool writeFailed(const QString &path, const QString &problem)
{
    qCWarning(lcServices).noquote()
        << QStringLiteral("Error trying to write subtitle to: %1\nERROR: %2").arg(path, problem);
    return false;
}

bool writeAtomically(const QString &path, const QByteArray &data)
{
    // A program that died between writing and moving left its hidden file behind.
    FileWriter::removeStaleTemporaries(PathUtilities::deletingLastPathComponent(path),
                                       StaleTemporaryAge);
    QString problem;
    return FileWriter::createNew(path, data, &problem) || writeFailed(path, problem);
}

// A link of any kind takes its name, even one that points nowhere: writes never go through.
bool isTaken(const QString &path)
{
    return QFileInfo(path).isSymLink() || FileManager::fileExists(path);
}

} // namespace

QString TNCopySubsController::replaceExtensionIfNeeded(const QString &fileName) const
{
    const QString replacement = TNUserDefaultsHelper::replaceTxtFileExtension();
    if (replacement.isEmpty() || PathUtilities::pathExtension(fileName).compare(
                                     QLatin1String("txt"), Qt::CaseInsensitive) != 0)
        return fileName;
    const QString replaced = PathUtilities::appendingPathExtension(
        PathUtilities::deletingPathExtension(fileName), replacement);
    if (replaced.isEmpty())
        return fileName;
    qCInfo(lcServices).noquote()
        << QStringLiteral(
               "Changing subtitle extension for file %1 because of replaceTxtFileExtension "
               "parameter [%2]")
               .arg(fileName, replacement);
    return replaced;
}

QString TNCopySubsController::freeRenamedPath(const Subtitle *subtitle, const QString &folder,
                                              const QString &extension) const
{
    const QString video = subtitle->parent()->fileName().value_or(QString());
    const QString base = PathUtilities::appendingPathComponent(
        folder, PathUtilities::deletingPathExtension(PathUtilities::lastPathComponent(video)));
    const QString language = subtitle->language();

    QStringList candidates;
    if (!TNUserDefaultsHelper::appendLanguageName())
        candidates.append(withExtension(base, extension));
    candidates.append(withExtension(withExtension(base, language), extension));
    for (int number = 1; number < NumberedNameLimit; ++number)
        candidates.append(
            withExtension(withExtension(base, language + QString::number(number)), extension));
    for (const QString &candidate : candidates) {
        if (!candidate.isEmpty() && !isTaken(candidate))
            return candidate;
    }
    return QString();
}

QString TNCopySubsController::getDestinationPath(const Subtitle *subtitle,
                                                 const QString &fileName) const
{
    if (!subtitle->parent())
        return QString();
    QString folder = TNUserDefaultsHelper::subtitleDownloadFolder();
    if (folder.isEmpty())
        folder = PathUtilities::deletingLastPathComponent(
            subtitle->parent()->fileName().value_or(QString()));
    const QString name = replaceExtensionIfNeeded(plainFileName(fileName));
    if (name.isEmpty())
        return QString();
    if (TNUserDefaultsHelper::renameSubtitle())
        return freeRenamedPath(subtitle, folder, PathUtilities::pathExtension(name));
    return PathUtilities::appendingPathComponent(folder, name);
}

bool TNCopySubsController::writeToDestination(const QByteArray &data, const Subtitle *subtitle,
                                              const QString &fileName) const
{
    const QString destination = getDestinationPath(subtitle, fileName);
    if (destination.isEmpty())
        return false;
    if (!TNUserDefaultsHelper::renameSubtitle() && isTaken(destination)) {
        // A subtitle of that name is already there; a link to nothing is no subtitle.
        if (FileManager::fileExists(destination))
            return true;
        return writeFailed(destination, QStringLiteral("a link stands there"));
    }
    return writeAtomically(destination, data);
}

bool TNCopySubsController::copyFile(const QByteArray &data, const Subtitle *subtitle) const
{
    return writeToDestination(data, subtitle, subtitle->fileName().value_or(QString()));
}

QString TNCopySubsController::copyZipToTempDir(const QByteArray &data) const
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/trovanel-XXXXXX.zip"));
    if (!file.open() || file.write(data) != data.size() || !file.flush())
        return QString();
    file.setAutoRemove(false);
    return file.fileName();
}

bool TNCopySubsController::copyZipFile(const QByteArray &data, const Subtitle *subtitle) const
{
    if (data.isEmpty())
        return false;
    const QString archive = copyZipToTempDir(data);
    if (archive.isEmpty())
        return false;
    TNZipFile zip;
    // An archive cut short has lost its directory but still begins like one.
    const bool isArchive = zip.openForReading(archive) || data.startsWith("PK\x03\x04");
    const std::optional<QList<ZipEntry>> entries = zip.readAllEntries();
    zip.closeReading();
    FileManager::deleteFile(archive);

    // Only data that is no archive at all can be the subtitle itself; a damaged, hostile or
    // encrypted archive is never written as one.
    if (!isArchive) {
        if (!sameService(subtitle, BetaSeriesServiceKey))
            return false;
        return writeToDestination(data, subtitle, subtitle->fileName().value_or(QString()));
    }
    if (!entries)
        return false;
    const bool single = entries->size() == 1;
    for (const ZipEntry &entry : *entries) {
        if (entry.filename.isEmpty())
            continue;
        if (single || entryMatchesService(entry, subtitle))
            return writeToDestination(entry.data, subtitle, entry.filename);
    }
    return false;
}
