#pragma once

#include "catalogue/VideoFileSearchProtocol.h"
#include "platform/Operation.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// Turns dropped or opened paths (video files, folders, links to either) into video files
// handed to the delegate on the main thread. Reports go over in batches, in scan order, while
// the scan goes on; the scan ends once the main thread has had them all.
class FileSearchOperation final : public Operation
{
    Q_OBJECT

public:
    FileSearchOperation() : FileSearchOperation(QStringList()) {}
    explicit FileSearchOperation(QStringList folders);

    bool filterFilesWithSubtitles() const { return m_filterFilesWithSubtitles.load(); }
    void setFilterFilesWithSubtitles(bool filter) { m_filterFilesWithSubtitles.store(filter); }

    // Not owned. A delegate that is a QObject and is destroyed before a report gets none.
    VideoFileSearchProtocol *delegate() const;
    void setDelegate(VideoFileSearchProtocol *delegate);

    // A second folder in which existing subtitles count (the download folder), or null.
    QString subtitlesFolder() const;
    void setSubtitlesFolder(const QString &folder);

    // Set before the scan starts; it may run on several threads at once.
    void setVideoFileReader(VideoFileReader reader) { m_reader = std::move(reader); }

    const QStringList &arrayPaths() const { return m_arrayPaths; }

    // A batch goes over once it holds this many reports, or once its first report has
    // waited this long; the main thread has at most this many batches waiting.
    static constexpr std::size_t BatchSize = 512;
    static constexpr qint64 BatchAgeMs = 100;
    static constexpr std::size_t BatchesInFlight = 2;
    // Threads that read files beside the scan's own.
    static constexpr int MaxHelpers = 3;

protected:
    void main() override;

private:
    struct Report
    {
        enum class Kind
        {
            Imported,
            Filtered,
            Unreadable
        } kind;
        ScannedVideoFile file;
        QString reason;
    };
    struct Batch;
    struct Delivery;

    void processFile(const QString &path);
    // A non-folder entry of a walk: a video file that cannot be told apart is reported.
    void processListedFile(const QString &path);
    void searchDirectory(const QString &folder);
    void searchDirectoryRecursively(const QString &folder);
    bool hasToIgnoreVideoFileName(const QString &path) const;
    bool isValidVideoFile(const QString &path) const;
    bool hasSubtitles(const QString &path);
    bool hasSubtitles(const QString &path, const QString &folder);
    void notifyImportedFile(const QString &path);
    void notifyFilteredFile(const QString &path);
    // Logged with the reason, and reported.
    void notifyUnreadable(const QString &path, const QString &reason);
    void report(Report report);
    void handOverIfDue();
    void readPending();
    void handOver();
    void waitForDeliveries();
    // On the main thread, a slice at a time, from the first batch on.
    static void drain(const std::shared_ptr<Delivery> &delivery);
    // Delivers the batch's reports until it is done with or, given a slice, the slice is
    // over; answers whether the batch is done with.
    static bool deliver(Batch &batch, const std::atomic<bool> &stopped, const QElapsedTimer *slice);

    const QStringList m_arrayPaths;
    std::atomic<bool> m_filterFilesWithSubtitles{false};
    mutable QMutex m_mutex;
    VideoFileSearchProtocol *m_delegate = nullptr;
    QPointer<QObject> m_delegateObject;
    bool m_delegateIsObject = false;
    QString m_subtitlesFolder;
    VideoFileReader m_reader;

    // Per scan: the reports not yet handed over, and how the main thread is getting on.
    std::vector<Report> m_pending;
    QElapsedTimer m_pendingAge;
    std::shared_ptr<Delivery> m_delivery;
    int m_helpers = 0;

    // Per scan: the subtitle files below each folder already listed, as paths relative to
    // it, so a folder is listed once however many videos it holds.
    QHash<QString, QStringList> m_subtitlePaths;
    // Per scan: the folders the one-level walk has entered, canonical, so that links
    // leading back into them end.
    QSet<QString> m_visitedFolders;
};
