#include "catalogue/FileSearchOperation.h"

#include "catalogue/DirectoryEnumerator.h"
#include "catalogue/LinkResolution.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/VideoExtensions.h"
#include "platform/Logging.h"
#include "platform/MainThread.h"
#include "platform/PathUtilities.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include <sys/stat.h>

namespace {

// The link's target when the path is a link to something that exists, else the path.
QString resolvingAlias(const QString &path)
{
    const QUrl target = LinkResolution::urlByResolvingAlias(path);
    return target.isValid() ? target.toLocalFile() : path;
}

// Whether a name that opens with the pattern holds nothing else but at most one word with
// no digit: "sample.mkv", "Sample-movie.mkv", while "Sample.People.2000.avi" is a film.
bool isPatternAlone(const QString &fileName, const QString &pattern)
{
    const QString stem = PathUtilities::deletingPathExtension(fileName);
    if (!stem.startsWith(pattern, Qt::CaseInsensitive))
        return false;
    const QString rest = stem.mid(pattern.size());
    if (!rest.isEmpty() && pattern.back().isLetterOrNumber() && rest.front().isLetterOrNumber())
        return false;
    int words = 0;
    bool inWord = false;
    for (const QChar c : rest) {
        if (c.isDigit())
            return false;
        if (c.isLetter() && !inWord)
            ++words;
        inWord = c.isLetter();
    }
    return words <= 1;
}

// Whether the pattern, compared without case, names the folder that holds the file, or
// stands in the file name as a word of its own after its first: a title starts the
// name, and a longer word only contains the pattern. An edge of the pattern that is
// punctuation needs nothing around it. A name that is the pattern alone, or with one
// plain word, is ignored as well.
bool namesIgnoredFile(const QString &path, const QString &fileName, const QString &pattern)
{
    const QString folder =
        PathUtilities::lastPathComponent(PathUtilities::deletingLastPathComponent(path));
    if (folder.compare(pattern, Qt::CaseInsensitive) == 0 || isPatternAlone(fileName, pattern))
        return true;
    const bool wordStart = pattern.front().isLetterOrNumber();
    const bool wordEnd = pattern.back().isLetterOrNumber();
    for (qsizetype at = fileName.indexOf(pattern, 0, Qt::CaseInsensitive); at >= 0;
         at = fileName.indexOf(pattern, at + 1, Qt::CaseInsensitive)) {
        const qsizetype end = at + pattern.size();
        const bool separateBefore =
            !wordStart || (at > 0 && !fileName.at(at - 1).isLetterOrNumber());
        const bool separateAfter =
            !wordEnd || end == fileName.size() || !fileName.at(end).isLetterOrNumber();
        if (separateBefore && separateAfter)
            return true;
    }
    return false;
}

enum class Kind
{
    Nothing,
    File,
    Folder,
    Other
};

// What stands at path, links followed. Nothing comes with a reason when what is there cannot
// be told, and without one when nothing is there, a link to nothing included.
Kind kindOf(const QString &path, QString *reason)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return S_ISREG(info.st_mode)   ? Kind::File
               : S_ISDIR(info.st_mode) ? Kind::Folder
                                       : Kind::Other;
    if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP)
        *reason = QString::fromLocal8Bit(std::strerror(errno));
    return Kind::Nothing;
}

} // namespace

// Reports on their way to the main thread, with the receiver they were meant for.
struct FileSearchOperation::Batch
{
    bool receiverGone() const { return !receiver || (receiverIsObject && !receiverObject); }

    std::vector<Report> reports;
    std::size_t next = 0;
    VideoFileSearchProtocol *receiver = nullptr;
    QPointer<QObject> receiverObject;
    bool receiverIsObject = false;
};

// What the scan and the main thread share about the batches handed over. Outlives the
// operation: batches still waiting after a cancellation find it stopped and are dropped.
struct FileSearchOperation::Delivery
{
    // The main thread delivers for no longer than this before it sees to its other events.
    static constexpr qint64 SliceMs = 15;

    std::mutex mutex;
    std::condition_variable changed;
    // Handed over and not wholly delivered yet, the first maybe in part.
    std::deque<std::shared_ptr<Batch>> batches;
    bool drainPosted = false;
    std::atomic<bool> stopped{false};
};

FileSearchOperation::FileSearchOperation(QStringList folders) : m_arrayPaths(std::move(folders)) {}

VideoFileSearchProtocol *FileSearchOperation::delegate() const
{
    QMutexLocker locker(&m_mutex);
    return m_delegate;
}

void FileSearchOperation::setDelegate(VideoFileSearchProtocol *delegate)
{
    QObject *object = dynamic_cast<QObject *>(delegate);
    QMutexLocker locker(&m_mutex);
    m_delegate = delegate;
    m_delegateObject = object;
    m_delegateIsObject = object != nullptr;
}

QString FileSearchOperation::subtitlesFolder() const
{
    QMutexLocker locker(&m_mutex);
    return m_subtitlesFolder;
}

void FileSearchOperation::setSubtitlesFolder(const QString &folder)
{
    QMutexLocker locker(&m_mutex);
    m_subtitlesFolder = folder;
}

void FileSearchOperation::main()
{
    if (isCancelled())
        return;
    m_subtitlePaths.clear();
    m_visitedFolders.clear();
    m_pending.clear();
    const auto delivery = std::make_shared<Delivery>();
    m_delivery = delivery;
    // On the main thread the reports go one by one, read there.
    m_helpers =
        MainThread::isCurrent() ? 0 : std::clamp(QThread::idealThreadCount() - 1, 1, MaxHelpers);
    const int stopDelivery = addCancelHandler([delivery] {
        std::lock_guard lock(delivery->mutex);
        delivery->stopped = true;
        delivery->changed.notify_all();
    });
    for (const QString &given : m_arrayPaths) {
        if (isCancelled())
            break;
        const QString path = resolvingAlias(given);
        try {
            QString reason;
            const Kind kind = kindOf(path, &reason);
            if (kind == Kind::Folder) {
                if (TNUserDefaultsHelper::dontRecurseDirectories())
                    searchDirectory(path);
                else
                    searchDirectoryRecursively(path);
            } else if (kind == Kind::File) {
                processFile(path);
            } else if (!reason.isEmpty()) {
                notifyUnreadable(path, reason);
            }
        } catch (const std::exception &e) {
            // A failure in one path must not silently drop the rest of the scan.
            qCWarning(lcCatalogue).noquote()
                << QStringLiteral("Scan of %1 failed: %2").arg(path, QString::fromUtf8(e.what()));
        }
    }
    handOver();
    waitForDeliveries();
    removeCancelHandler(stopDelivery);
}

void FileSearchOperation::searchDirectoryRecursively(const QString &folder)
{
    DirectoryEnumerator::enumerate(
        folder, true,
        [this](const DirectoryEnumerator::Entry &entry) {
            if (isCancelled())
                return false;
            if (!entry.isDirectory)
                processListedFile(entry.path);
            handOverIfDue();
            return true;
        },
        [this](const DirectoryEnumerator::Unreadable &unreadable) {
            if (unreadable.isDirectory || isValidVideoFile(unreadable.path))
                notifyUnreadable(unreadable.path, unreadable.reason);
        });
}

void FileSearchOperation::searchDirectory(const QString &folder)
{
    m_visitedFolders.insert(QFileInfo(folder).canonicalFilePath());
    const QString function = QString::fromLatin1(Q_FUNC_INFO);
    const auto visit = [&](const DirectoryEnumerator::Entry &entry) {
        if (isCancelled())
            return false;
        qCDebug(lcCatalogue).noquote() << QStringLiteral("%1 [Line %2] Before resolving alias: %3")
                                              .arg(function, QString::number(__LINE__), entry.path);
        const QString resolved = resolvingAlias(entry.path);
        qCDebug(lcCatalogue).noquote() << QStringLiteral("%1 [Line %2] Resolve to : %3")
                                              .arg(function, QString::number(__LINE__), resolved);
        const QFileInfo info(resolved);
        if (info.isDir()) {
            if (resolved != entry.path && !m_visitedFolders.contains(info.canonicalFilePath()))
                searchDirectory(resolved);
        } else {
            processListedFile(resolved);
        }
        handOverIfDue();
        return true;
    };
    // Plain sub-folders are not entered, so their names do not matter here.
    DirectoryEnumerator::enumerate(
        folder, false, visit, [this](const DirectoryEnumerator::Unreadable &unreadable) {
            if (unreadable.isListing ||
                (!unreadable.isDirectory && isValidVideoFile(unreadable.path)))
                notifyUnreadable(unreadable.path, unreadable.reason);
        });
}

void FileSearchOperation::processListedFile(const QString &path)
{
    // Links count as what they lead to; only regular files go on (never a FIFO or device).
    QString reason;
    const Kind kind = kindOf(path, &reason);
    if (kind == Kind::File)
        processFile(path);
    else if (!reason.isEmpty() && isValidVideoFile(path))
        notifyUnreadable(path, reason);
}

void FileSearchOperation::processFile(const QString &path)
{
    if (hasToIgnoreVideoFileName(path) || !isValidVideoFile(path))
        return;
    if (filterFilesWithSubtitles() && hasSubtitles(path))
        notifyFilteredFile(path);
    else
        notifyImportedFile(path);
}

bool FileSearchOperation::hasToIgnoreVideoFileName(const QString &path) const
{
    const QString pattern = TNUserDefaultsHelper::ignoreSubFilePattern();
    if (pattern.isEmpty())
        return false;
    const QString fileName = PathUtilities::lastPathComponent(path);
    if (!namesIgnoredFile(path, fileName, pattern))
        return false;
    qCInfo(lcCatalogue).noquote()
        << QStringLiteral("Ignoring file %1 because of ignoreFilePattern parameter [%2]")
               .arg(fileName, pattern);
    return true;
}

bool FileSearchOperation::isValidVideoFile(const QString &path) const
{
    return VideoExtensions::isVideoFile(path);
}

bool FileSearchOperation::hasSubtitles(const QString &path)
{
    if (hasSubtitles(path, PathUtilities::deletingLastPathComponent(path)))
        return true;
    const QString downloadFolder = subtitlesFolder();
    return !downloadFolder.isEmpty() && hasSubtitles(path, downloadFolder);
}

bool FileSearchOperation::hasSubtitles(const QString &path, const QString &folder)
{
    auto listed = m_subtitlePaths.constFind(folder);
    if (listed == m_subtitlePaths.cend()) {
        QStringList subtitles;
        const bool complete = DirectoryEnumerator::enumerate(
            folder, true, [this, &subtitles](const DirectoryEnumerator::Entry &entry) {
                if (isCancelled())
                    return false;
                if (VideoExtensions::isSubtitleFile(entry.relativePath))
                    subtitles.append(entry.relativePath);
                return true;
            });
        // A cancelled listing answers no, and is not kept as if it were whole.
        if (!complete)
            return false;
        listed = m_subtitlePaths.insert(folder, subtitles);
    }
    const QString baseName =
        PathUtilities::deletingPathExtension(PathUtilities::lastPathComponent(path));
    for (const QString &subtitle : *listed) {
        if (subtitle.startsWith(baseName))
            return true;
    }
    return false;
}

void FileSearchOperation::notifyImportedFile(const QString &path)
{
    Report imported{Report::Kind::Imported, {}, {}};
    imported.file.path = path;
    report(std::move(imported));
}

void FileSearchOperation::notifyFilteredFile(const QString &path)
{
    Report filtered{Report::Kind::Filtered, {}, {}};
    filtered.file.path = path;
    report(std::move(filtered));
}

void FileSearchOperation::notifyUnreadable(const QString &path, const QString &reason)
{
    qCWarning(lcCatalogue).noquote()
        << QStringLiteral("Skipped %1, which cannot be read: %2").arg(path, reason);
    Report unreadable{Report::Kind::Unreadable, {}, reason};
    unreadable.file.path = path;
    report(std::move(unreadable));
}

void FileSearchOperation::report(Report report)
{
    if (m_pending.empty())
        m_pendingAge.start();
    m_pending.push_back(std::move(report));
    // On the main thread nothing is gained by waiting: each report goes at once.
    if (MainThread::isCurrent() || m_pending.size() >= BatchSize)
        handOver();
}

void FileSearchOperation::handOverIfDue()
{
    if (!m_pending.empty() && m_pendingAge.hasExpired(BatchAgeMs))
        handOver();
}

void FileSearchOperation::readPending()
{
    if (!m_reader)
        return;
    // Reading is mostly waiting for the disk, so several files are read at once; each
    // keeps its place in the batch.
    std::atomic<std::size_t> next{0};
    const auto read = [this, &next] {
        for (std::size_t i = next++; i < m_pending.size() && !isCancelled(); i = next++) {
            if (m_pending[i].kind != Report::Kind::Imported)
                continue;
            ScannedVideoFile &file = m_pending[i].file;
            try {
                m_reader(file);
            } catch (const std::exception &e) {
                // The file is still listed, with what its path alone says.
                qCWarning(lcCatalogue).noquote()
                    << QStringLiteral("Reading %1 failed: %2")
                           .arg(file.path, QString::fromUtf8(e.what()));
                file = ScannedVideoFile{file.path, {}, 0, 0};
            }
        }
    };
    std::vector<std::thread> helpers;
    for (int helper = 0; helper < m_helpers && m_pending.size() > 1; ++helper)
        helpers.emplace_back(read);
    read();
    for (std::thread &helper : helpers)
        helper.join();
}

void FileSearchOperation::handOver()
{
    if (m_pending.empty())
        return;
    readPending();
    auto batch = std::make_shared<Batch>();
    batch->reports = std::exchange(m_pending, {});
    {
        QMutexLocker locker(&m_mutex);
        batch->receiver = m_delegate;
        batch->receiverObject = m_delegateObject;
        batch->receiverIsObject = m_delegateIsObject;
    }
    if (MainThread::isCurrent()) {
        deliver(*batch, m_delivery->stopped, nullptr);
        return;
    }
    std::unique_lock lock(m_delivery->mutex);
    m_delivery->changed.wait(lock, [this] {
        return m_delivery->stopped || m_delivery->batches.size() < BatchesInFlight;
    });
    if (m_delivery->stopped)
        return;
    m_delivery->batches.push_back(std::move(batch));
    if (!std::exchange(m_delivery->drainPosted, true))
        MainThread::post([delivery = m_delivery] { drain(delivery); });
}

void FileSearchOperation::waitForDeliveries()
{
    std::unique_lock lock(m_delivery->mutex);
    m_delivery->changed.wait(lock,
                             [this] { return m_delivery->stopped || m_delivery->batches.empty(); });
}

void FileSearchOperation::drain(const std::shared_ptr<Delivery> &delivery)
{
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        std::shared_ptr<Batch> batch;
        {
            std::lock_guard lock(delivery->mutex);
            if (delivery->stopped)
                delivery->batches.clear();
            if (delivery->batches.empty()) {
                delivery->drainPosted = false;
                delivery->changed.notify_all();
                return;
            }
            batch = delivery->batches.front();
        }
        if (!deliver(*batch, delivery->stopped, &slice)) {
            // The rest waits behind whatever else the event loop has to do.
            MainThread::post([delivery] { drain(delivery); });
            return;
        }
        std::lock_guard lock(delivery->mutex);
        delivery->batches.pop_front();
        delivery->changed.notify_all();
    }
}

bool FileSearchOperation::deliver(Batch &batch, const std::atomic<bool> &stopped,
                                  const QElapsedTimer *slice)
{
    while (batch.next < batch.reports.size()) {
        if (stopped || batch.receiverGone())
            return true;
        if (slice && slice->hasExpired(Delivery::SliceMs))
            return false;
        const Report &next = batch.reports.at(batch.next++);
        switch (next.kind) {
        case Report::Kind::Imported:
            batch.receiver->didImportFile(next.file);
            break;
        case Report::Kind::Filtered:
            batch.receiver->didFilterFile(next.file.path);
            break;
        case Report::Kind::Unreadable:
            batch.receiver->didSkipUnreadable(next.file.path, next.reason);
            break;
        }
    }
    return true;
}
