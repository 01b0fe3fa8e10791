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
#include "services/SubtitleFileName.h"
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

// The part after a dot, or nothing for an empty part.
QString dotted(const QString &part)
{
    return part.isEmpty() ? QString() : QLatin1Char('.') + part;
}

// A name that shows every character, cut short to fit the file system where needed.
QString writableName(const QString &stem, const QString &suffix)
{
    return SubtitleFileName::fitted(SubtitleFileName::visible(stem),
                                    SubtitleFileName::visible(suffix));
}

bool sameService(const SubtitleTarget &target, const QString &key)
{
    return target.service.compare(key, Qt::CaseInsensitive) == 0;
}

bool entryMatchesService(const ZipEntry &entry, const SubtitleTarget &target)
{
    const QString &fileName = target.fileName;
    if (sameService(target, OpenSubtitlesServiceKey))
        return PathUtilities::pathExtension(entry.filename)
                   .compare(PathUtilities::pathExtension(fileName), Qt::CaseInsensitive) == 0;
    if (sameService(target, PodnapisiServiceKey))
        return VideoExtensions::isSubtitleFile(entry.filename);
    if (sameService(target, BetaSeriesServiceKey))
        return entry.filename.compare(fileName, Qt::CaseInsensitive) == 0;
    return false;
}

bool writeFailed(const QString &path, const QString &problem)
{
    qCWarning(lcServices).noquote()
        << QStringLiteral("Error trying to write subtitle to: %1\nERROR: %2").arg(path, problem);
    return false;
}

// The cause of a failure, a name taken included, goes to problem; only other failures are
// logged.
FileWriter::Created writeAtomically(const QString &path, const QByteArray &data, QString *problem)
{
    const FileWriter::Created created = FileWriter::createNew(path, data, problem);
    if (created == FileWriter::Created::Failed)
        writeFailed(path, *problem);
    return created;
}

// A link of any kind takes its name, even one that points nowhere: writes never go through.
bool isTaken(const QString &path)
{
    return QFileInfo(path).isSymLink() || FileManager::fileExists(path);
}

QString replaceTxtExtension(const QString &fileName, const QString &replacement)
{
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

} // namespace

SubtitleTarget SubtitleTarget::of(const Subtitle *subtitle)
{
    SubtitleTarget target;
    target.service = subtitle->service().value_or(QString());
    target.fileName = subtitle->fileName().value_or(QString());
    target.language = subtitle->language();
    if (subtitle->parent())
        target.videoPath = subtitle->parent()->fileName().value_or(QString());
    target.downloadFolder = TNUserDefaultsHelper::subtitleDownloadFolder();
    target.txtReplacement = TNUserDefaultsHelper::replaceTxtFileExtension();
    target.rename = TNUserDefaultsHelper::renameSubtitle();
    target.appendLanguage = TNUserDefaultsHelper::appendLanguageName();
    return target;
}

QString TNCopySubsController::replaceExtensionIfNeeded(const QString &fileName) const
{
    return replaceTxtExtension(fileName, TNUserDefaultsHelper::replaceTxtFileExtension());
}

QStringList TNCopySubsController::renamedCandidates(const SubtitleTarget &target,
                                                    const QString &folder,
                                                    const QString &extension) const
{
    const QString base =
        PathUtilities::deletingPathExtension(PathUtilities::lastPathComponent(*target.videoPath));
    if (base.isEmpty())
        return {};
    const QString &language = target.language;
    QStringList marks;
    if (!target.appendLanguage)
        marks.append(QString());
    marks.append(language);
    for (int number = 1; number < NumberedNameLimit; ++number)
        marks.append(language + QString::number(number));
    QStringList candidates;
    for (const QString &mark : std::as_const(marks))
        candidates.append(PathUtilities::appendingPathComponent(
            folder, writableName(base, dotted(mark) + dotted(extension))));
    return candidates;
}

QStringList TNCopySubsController::destinationCandidates(const SubtitleTarget &target,
                                                        const QString &fileName) const
{
    if (!target.videoPath)
        return {};
    QString folder = target.downloadFolder;
    if (folder.isEmpty())
        folder = PathUtilities::deletingLastPathComponent(*target.videoPath);
    const QString name = replaceTxtExtension(plainFileName(fileName), target.txtReplacement);
    if (name.isEmpty())
        return {};
    const QString extension = PathUtilities::pathExtension(name);
    if (target.rename)
        return renamedCandidates(target, folder, extension);
    QString writable = SubtitleFileName::visible(name);
    if (writable.toUtf8().size() > SubtitleFileName::LongestName)
        writable = writableName(PathUtilities::deletingPathExtension(name), dotted(extension));
    return {PathUtilities::appendingPathComponent(folder, writable)};
}

QString TNCopySubsController::getDestinationPath(const Subtitle *subtitle,
                                                 const QString &fileName) const
{
    const SubtitleTarget target = SubtitleTarget::of(subtitle);
    const QStringList candidates = destinationCandidates(target, fileName);
    if (!target.rename)
        return candidates.value(0);
    for (const QString &candidate : candidates) {
        if (!isTaken(candidate))
            return candidate;
    }
    return QString();
}

bool TNCopySubsController::writeToDestination(const QByteArray &data, const SubtitleTarget &target,
                                              const QString &fileName) const
{
    const QStringList candidates = destinationCandidates(target, fileName);
    if (candidates.isEmpty())
        return false;
    // A program that died between writing and moving left its hidden file behind.
    FileWriter::removeStaleTemporaries(PathUtilities::deletingLastPathComponent(candidates.first()),
                                       StaleTemporaryAge);
    const bool renaming = target.rename;
    for (const QString &candidate : candidates) {
        // Another writer may take a free name first; the next free one is then taken.
        QString problem = QStringLiteral("a link stands there");
        const FileWriter::Created created = isTaken(candidate)
                                                ? FileWriter::Created::NameTaken
                                                : writeAtomically(candidate, data, &problem);
        if (created != FileWriter::Created::NameTaken)
            return created == FileWriter::Created::Written;
        if (renaming)
            continue;
        // A subtitle of that name is already there; a link to nothing, or a folder, is none.
        return FileManager::fileExists(candidate) || writeFailed(candidate, problem);
    }
    return false;
}

bool TNCopySubsController::copyFile(const QByteArray &data, const SubtitleTarget &target) const
{
    return writeToDestination(data, target, target.fileName);
}

bool TNCopySubsController::copyFile(const QByteArray &data, const Subtitle *subtitle) const
{
    return copyFile(data, SubtitleTarget::of(subtitle));
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
    return copyZipFile(data, SubtitleTarget::of(subtitle));
}

bool TNCopySubsController::copyZipFile(const QByteArray &data, const SubtitleTarget &target) const
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
        if (!sameService(target, BetaSeriesServiceKey))
            return false;
        return copyFile(data, target);
    }
    if (!entries)
        return false;
    // An entry left out is still an entry: the one read is then not the archive's only file.
    const bool single = zip.fileEntryCount() == 1;
    for (const ZipEntry &entry : *entries) {
        if (entry.filename.isEmpty())
            continue;
        if (single || entryMatchesService(entry, target))
            return writeToDestination(entry.data, target, entry.filename);
    }
    return false;
}
