#include "catalogue/FileSearchOperation.h"

#include "catalogue/DirectoryEnumerator.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/MainThread.h"
#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Records every report, and that each arrives on the main thread.
class RecordingDelegate : public QObject, public VideoFileSearchProtocol
{
public:
    void didImportFile(const ScannedVideoFile &file) override
    {
        hashes.append(file.hash);
        record(imported, file.path);
    }
    void didFilterFile(const QString &path) override { record(filtered, path); }
    void didSkipUnreadable(const QString &path, const QString &reason) override
    {
        record(skipped, path);
        reasons.insert(path, reason);
    }

    QStringList imported;
    QList<quint64> hashes;
    QStringList filtered;
    QStringList skipped;
    QHash<QString, QString> reasons;
    bool offMainThread = false;
    std::function<void()> onReport;

private:
    void record(QStringList &list, const QString &path)
    {
        offMainThread = offMainThread || !MainThread::isCurrent();
        list.append(path);
        if (onReport)
            onReport();
    }
};

// Collects the catalogue's log lines while alive.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }

    static QStringList lines()
    {
        QMutexLocker locker(&s_mutex);
        return s_lines;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &context, const QString &message)
    {
        if (QByteArray(context.category) == "trovanel.catalogue") {
            QMutexLocker locker(&s_mutex);
            s_lines.append(message);
        }
    }

    static inline QMutex s_mutex;
    static inline QStringList s_lines;
    QtMessageHandler m_previous;
};

// Without the capabilities that let root read anything, permission bits apply to this
// thread as they do to any user.
class PermissionsEnforced
{
public:
    PermissionsEnforced()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (::syscall(SYS_capget, &header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_changed = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~PermissionsEnforced()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (m_changed)
            ::syscall(SYS_capset, &header, m_saved);
    }

private:
    __user_cap_data_struct m_saved[2] = {};
    bool m_changed = false;
};

class FileSearchOperationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_root = m_dir.filePath(QStringLiteral("root"));
        setSetting(TNUserDefaultsHelper::DontRecurseDirectoriesKey, false);
        setSetting(TNUserDefaultsHelper::IgnoreFilePatternKey, QStringLiteral(""));
    }

    static void setSetting(const QString &key, const QVariant &value)
    {
        UserDefaults::standard().setValue(key, value);
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

    void makeFile(const QString &relative) const
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << relative.toStdString();
    }

    void makeLink(const QString &target, const QString &relative) const
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(path(relative)).constData()),
                  0);
    }

    void makeFifo(const QString &relative) const
    {
        ASSERT_EQ(::mkfifo(QFile::encodeName(path(relative)).constData(), 0600), 0);
    }

    // The tree the walks are tried on; "outside" is reached only through links.
    void makeTree() const
    {
        for (const char *file :
             {"root/a.avi", "root/.hidden.avi", "root/._Movie.avi", "root/notes.txt", "root/Movie",
              "root/Clip.MKV", "root/sub/b.mkv", "root/sub/deeper/c.mp4", "outside/real.avi",
              "outside/inner/skipped.avi"})
            makeFile(QString::fromLatin1(file));
        makeLink(QStringLiteral("../outside/real.avi"), QStringLiteral("root/linkToFile.avi"));
        makeLink(path(QStringLiteral("outside")), QStringLiteral("root/linkToFolder"));
        makeLink(QStringLiteral("."), QStringLiteral("root/loop"));
        makeLink(QStringLiteral("../root"), QStringLiteral("outside/back"));
        makeLink(QStringLiteral("missing.avi"), QStringLiteral("root/broken.avi"));
        makeFifo(QStringLiteral("root/pipe.avi"));
    }

    std::shared_ptr<FileSearchOperation> operation(const QStringList &paths)
    {
        auto op = std::make_shared<FileSearchOperation>(paths);
        op->setDelegate(&m_delegate);
        return op;
    }

    // Runs the scan on a worker of a queue, as the application does.
    void runQueued(const std::shared_ptr<FileSearchOperation> &op)
    {
        OperationQueue queue;
        queue.addOperations({op}, false);
        op->waitUntilFinished();
    }

    // The reported paths below the test folder, sorted and joined for readable failures.
    std::string relative(QStringList paths) const
    {
        for (QString &p : paths)
            p = QDir(m_dir.path()).relativeFilePath(p);
        paths.sort();
        return paths.join(QStringLiteral(", ")).toStdString();
    }

    QTemporaryDir m_dir;
    QString m_root;
    RecordingDelegate m_delegate;
};

std::string sorted(QStringList list)
{
    list.sort();
    return list.join(QStringLiteral(", ")).toStdString();
}

} // namespace

TEST_F(FileSearchOperationTest, DeepWalkReportsRegularVideoFilesOnly)
{
    makeTree();
    LogCapture log;
    runQueued(operation({m_root}));
    // Links to files count as files under their own path; links to folders are not entered;
    // the FIFO, the broken link, non-videos and names without extension are passed over.
    EXPECT_EQ(relative(m_delegate.imported),
              sorted({"root/._Movie.avi", "root/.hidden.avi", "root/Clip.MKV", "root/a.avi",
                      "root/linkToFile.avi", "root/sub/b.mkv", "root/sub/deeper/c.mp4"}));
    EXPECT_TRUE(m_delegate.filtered.isEmpty());
    EXPECT_FALSE(m_delegate.offMainThread);
}

TEST_F(FileSearchOperationTest, OneLevelWalkEntersFolderLinksOnceEach)
{
    makeTree();
    setSetting(TNUserDefaultsHelper::DontRecurseDirectoriesKey, true);
    runQueued(operation({m_root + QLatin1Char('/')}));
    // Sub-folders stay closed; the folder link is walked one level and reports resolved
    // paths; the links back into folders already walked end there.
    EXPECT_EQ(relative(m_delegate.imported),
              sorted({"root/._Movie.avi", "root/.hidden.avi", "root/Clip.MKV", "root/a.avi",
                      "outside/real.avi", "outside/real.avi"}));
}

TEST_F(FileSearchOperationTest, TopLevelPaths)
{
    makeTree();
    makeLink(path(QStringLiteral("root/sub")), QStringLiteral("subLink"));
    runQueued(
        operation({path(QStringLiteral("root/a.avi")), path(QStringLiteral("root/notes.txt")),
                   path(QStringLiteral("nowhere.avi")), path(QStringLiteral("root/pipe.avi")),
                   path(QStringLiteral("root/linkToFile.avi")),
                   path(QStringLiteral("root/broken.avi")), path(QStringLiteral("subLink"))}));
    EXPECT_EQ(relative(m_delegate.imported), sorted({"root/a.avi", "outside/real.avi",
                                                     "root/sub/b.mkv", "root/sub/deeper/c.mp4"}));
}

TEST_F(FileSearchOperationTest, IgnorePatternIsAWordAfterTheTitleOrTheFolderIgnoringCase)
{
    for (const char *file :
         {"root/Film.Sample.avi", "root/Film.avi", "root/Film-sample.mkv", "root/Sample/Film.mkv",
          "root/Free.Samples.2012.720p.mkv", "root/Sample.People.2000.avi", "root/Film.s*mple.avi",
          "root/Film [x].avi", "root/Film[x].avi", "root/sample.mkv", "root/Sample-movie.mkv",
          "root/sample-video.avi", "root/Sample.01.mkv", "root/Samples.mkv"})
        makeFile(QString::fromLatin1(file));
    setSetting(TNUserDefaultsHelper::IgnoreFilePatternKey, QStringLiteral("SAMPLE"));
    {
        LogCapture log;
        runQueued(operation({m_root}));
        EXPECT_EQ(
            relative(m_delegate.imported),
            sorted({"root/Film.avi", "root/Free.Samples.2012.720p.mkv",
                    "root/Sample.People.2000.avi", "root/Film.s*mple.avi", "root/Film [x].avi",
                    "root/Film[x].avi", "root/Sample.01.mkv", "root/Samples.mkv"}));
        EXPECT_TRUE(log.lines().contains(QStringLiteral(
            "Ignoring file Film.Sample.avi because of ignoreFilePattern parameter [SAMPLE]")));
    }
    // A pattern that is punctuation at its edges is found anywhere.
    m_delegate.imported.clear();
    setSetting(TNUserDefaultsHelper::IgnoreFilePatternKey, QStringLiteral("[X]"));
    runQueued(operation({m_root}));
    EXPECT_EQ(m_delegate.imported.size(), 12);
    m_delegate.imported.clear();
    setSetting(TNUserDefaultsHelper::IgnoreFilePatternKey, QStringLiteral(""));
    runQueued(operation({m_root}));
    EXPECT_EQ(m_delegate.imported.size(), 14);
}

TEST_F(FileSearchOperationTest, ExistingSubtitleFilter)
{
    for (const char *file :
         {"root/Show.S01E01.avi", "root/Show.S01E01.en.srt", "root/Show.S01E02.avi",
          "root/show.s01e02.srt", "root/Show.S01E03.avi", "root/Show.S01E03.zip",
          "root/Show.S01E04.avi", "root/Subs/Show.S01E04.srt", "root/Show.S01E05.avi",
          "root/Show.S01E05/x.srt", "root/Show.S01E06.avi", "downloads/Show.S01E06.fr.srt",
          "root/Show.S01E07.avi", "root/Show.S01E07.nfo", "root/Show.S01E1.avi",
          "root/Show.S01E10.srt"})
        makeFile(QString::fromLatin1(file));
    auto op = operation({m_root});
    op->setFilterFilesWithSubtitles(true);
    op->setSubtitlesFolder(path(QStringLiteral("downloads")));
    runQueued(op);
    EXPECT_EQ(relative(m_delegate.filtered),
              sorted({"root/Show.S01E01.avi", "root/Show.S01E03.avi", "root/Show.S01E05.avi",
                      "root/Show.S01E06.avi", "root/Show.S01E1.avi"}));
    EXPECT_EQ(relative(m_delegate.imported),
              sorted({"root/Show.S01E02.avi", "root/Show.S01E04.avi", "root/Show.S01E07.avi"}));

    // With the filter off every video is imported, and no download folder is needed.
    RecordingDelegate plain;
    auto unfiltered = std::make_shared<FileSearchOperation>(QStringList{m_root});
    unfiltered->setDelegate(&plain);
    runQueued(unfiltered);
    EXPECT_EQ(plain.imported.size(), 8);
    EXPECT_TRUE(plain.filtered.isEmpty());
}

TEST_F(FileSearchOperationTest, EachFolderIsListedForSubtitlesOncePerScan)
{
    for (int i = 1; i <= 5; ++i) {
        makeFile(QStringLiteral("root/V%1.avi").arg(i));
        makeFile(QStringLiteral("root/V%1.srt").arg(i));
    }
    // Once the first answer is in, the subtitles go; later answers come from that listing.
    m_delegate.onReport = [this] {
        for (int i = 1; i <= 5; ++i)
            QFile::remove(path(QStringLiteral("root/V%1.srt").arg(i)));
    };
    auto op = operation({m_root});
    op->setFilterFilesWithSubtitles(true);
    runQueued(op);
    EXPECT_EQ(m_delegate.filtered.size(), 5);
    EXPECT_TRUE(m_delegate.imported.isEmpty());

    // A new scan lists again.
    m_delegate.filtered.clear();
    auto again = operation({m_root});
    again->setFilterFilesWithSubtitles(true);
    runQueued(again);
    EXPECT_EQ(m_delegate.imported.size(), 5);
}

TEST_F(FileSearchOperationTest, Cancellation)
{
    makeTree();
    auto early = operation({m_root});
    early->cancel();
    early->start();
    EXPECT_TRUE(early->isFinished());
    EXPECT_TRUE(m_delegate.imported.isEmpty());

    // Cancelled from the first report: the walk stops there.
    auto op = operation({m_root, path(QStringLiteral("outside"))});
    m_delegate.onReport = [op] { op->cancel(); };
    runQueued(op);
    EXPECT_EQ(m_delegate.imported.size(), 1);
}

TEST_F(FileSearchOperationTest, ManyReportsArriveReadOffTheMainThreadAndInScanOrder)
{
    const int count = 3 * static_cast<int>(FileSearchOperation::BatchSize) + 7;
    for (int i = 0; i < count; ++i)
        makeFile(QStringLiteral("root/%1/%2.avi").arg(i % 5).arg(i));
    makeFile(QStringLiteral("root/0/0.srt"));
    QStringList walked;
    DirectoryEnumerator::enumerate(m_root, true, [&](const DirectoryEnumerator::Entry &entry) {
        if (!entry.isDirectory && entry.path.endsWith(QLatin1String(".avi")))
            walked.append(entry.path);
        return true;
    });
    walked.removeOne(path(QStringLiteral("root/0/0.avi")));
    std::atomic<bool> readOnMainThread = false;
    auto op = operation({m_root});
    op->setFilterFilesWithSubtitles(true);
    op->setVideoFileReader([&](ScannedVideoFile &file) {
        readOnMainThread = readOnMainThread || MainThread::isCurrent();
        const quint64 number = QFileInfo(file.path).completeBaseName().toULongLong();
        // Some files take longer, so that readers finish out of order.
        if (number % 7 == 0)
            QThread::usleep(300);
        if (number == 5)
            throw std::runtime_error("unreadable");
        file.hash = number;
    });
    LogCapture log;
    runQueued(op);
    EXPECT_FALSE(readOnMainThread);
    EXPECT_FALSE(m_delegate.offMainThread);
    ASSERT_EQ(m_delegate.imported, walked);
    // A file whose reading failed is still listed, with nothing read.
    for (int i = 0; i < m_delegate.imported.size(); ++i) {
        const quint64 number =
            QFileInfo(m_delegate.imported.at(i)).completeBaseName().toULongLong();
        ASSERT_EQ(m_delegate.hashes.at(i), number == 5 ? 0 : number);
    }
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("Reading %1 failed: unreadable").arg(path(QStringLiteral("root/0/5.avi")))));
    EXPECT_EQ(relative(m_delegate.filtered), sorted({"root/0/0.avi"}));
}

TEST_F(FileSearchOperationTest, ACancelOrAGoneDelegateStopsTheReportsMidBatch)
{
    // More batches than the main thread is ever handed at once.
    const auto count = static_cast<int>((FileSearchOperation::BatchesInFlight + 2) *
                                        FileSearchOperation::BatchSize);
    for (int i = 0; i < count; ++i)
        makeFile(QStringLiteral("root/v%1.avi").arg(i));
    // Cancelled from a report in the middle of a batch: the rest of it is never reported.
    auto cancelled = operation({m_root});
    m_delegate.onReport = [&] {
        if (m_delegate.imported.size() == 10)
            cancelled->cancel();
    };
    runQueued(cancelled);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_delegate.imported.size(), 10);

    // Destroyed between two batches: the batches after it go nowhere.
    int reports = 0;
    auto gone = std::make_unique<RecordingDelegate>();
    gone->onReport = [&] {
        if (++reports == 10)
            MainThread::post([&gone] { gone.reset(); });
    };
    auto orphaned = std::make_shared<FileSearchOperation>(QStringList{m_root});
    orphaned->setDelegate(gone.get());
    runQueued(orphaned);
    EXPECT_EQ(gone, nullptr);
    EXPECT_GE(reports, 10);
    EXPECT_LT(reports, count);
}

TEST_F(FileSearchOperationTest, WhatCannotBeReadOrNamedIsSkippedLoggedAndReported)
{
    for (const char *file :
         {"root/a.avi", "root/closed/hidden.avi", "root/shut/b.avi", "root/open/c.avi"})
        makeFile(QString::fromLatin1(file));
    // Names in another encoding: a folder of videos, a video, and a file passed over anyway.
    const QByteArray root = QFile::encodeName(m_root);
    const QByteArray latinFolder = root + "/S\xe9ries";
    const QList<QByteArray> undecodable = {latinFolder + "/d.avi", root + "/bad\xff.avi",
                                           root + "/notes\xff.txt"};
    ASSERT_EQ(::mkdir(latinFolder.constData(), 0700), 0);
    for (const QByteArray &name : undecodable)
        ::close(::open(name.constData(), O_CREAT | O_WRONLY, 0600));
    const QByteArray closed = QFile::encodeName(path(QStringLiteral("root/closed")));
    const QByteArray shut = QFile::encodeName(path(QStringLiteral("root/shut")));
    ASSERT_EQ(::chmod(closed.constData(), 0), 0);
    // Listed, but nothing in it can be looked at.
    ASSERT_EQ(::chmod(shut.constData(), 0400), 0);
    const auto scan = [this](bool oneLevel) {
        setSetting(TNUserDefaultsHelper::DontRecurseDirectoriesKey, oneLevel);
        m_delegate.imported.clear();
        m_delegate.skipped.clear();
        PermissionsEnforced enforced;
        // Synchronously on this thread, which is the one whose permissions are reduced.
        operation({m_root})->start();
    };
    LogCapture log;
    scan(false);
    EXPECT_EQ(relative(m_delegate.imported), sorted({"root/a.avi", "root/open/c.avi"}));
    EXPECT_EQ(relative(m_delegate.skipped),
              sorted({"root/S\ufffdries", "root/bad\ufffd.avi", "root/closed", "root/shut/b.avi"}));
    const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
    EXPECT_EQ(m_delegate.reasons.value(path(QStringLiteral("root/closed"))), denied);
    EXPECT_EQ(m_delegate.reasons.value(path(QStringLiteral("root/shut/b.avi"))), denied);
    EXPECT_EQ(m_delegate.reasons.value(path(QStringLiteral("root/bad\ufffd.avi"))),
              QStringLiteral("its name is not valid in the file system's encoding (bad%FF.avi)"));
    EXPECT_TRUE(log.lines().contains(QStringLiteral("Skipped %1, which cannot be read: %2")
                                         .arg(path(QStringLiteral("root/closed")), denied)));

    // Sub-folders the one-level walk does not enter are no loss.
    scan(true);
    EXPECT_EQ(relative(m_delegate.imported), sorted({"root/a.avi"}));
    EXPECT_EQ(relative(m_delegate.skipped), sorted({"root/bad\ufffd.avi"}));

    ::chmod(closed.constData(), 0700);
    ::chmod(shut.constData(), 0700);
    // Qt cannot list these names either, so the temporary folder would not go away with them.
    for (const QByteArray &name : undecodable)
        ::unlink(name.constData());
    ::rmdir(latinFolder.constData());
}

TEST_F(FileSearchOperationTest, ReportsToADestroyedDelegateAreDropped)
{
    makeFile(QStringLiteral("root/a.avi"));
    auto gone = std::make_unique<RecordingDelegate>();
    auto op = std::make_shared<FileSearchOperation>(QStringList{m_root});
    op->setDelegate(gone.get());
    gone.reset();
    runQueued(op);
    EXPECT_TRUE(op->isFinished());

    auto none = std::make_shared<FileSearchOperation>(QStringList{m_root});
    EXPECT_EQ(none->delegate(), nullptr);
    runQueued(none);
    EXPECT_TRUE(none->isFinished());
    EXPECT_TRUE(FileSearchOperation().arrayPaths().isEmpty());
}

TEST_F(FileSearchOperationTest, AFailureInOnePathIsLoggedAndTheNextPathsAreStillScanned)
{
    makeFile(QStringLiteral("first/a.avi"));
    makeFile(QStringLiteral("second/b.avi"));
    m_delegate.onReport = [this] {
        if (m_delegate.imported.size() == 1)
            throw std::runtime_error("catalogue refused");
    };
    LogCapture log;
    // On the main thread the report is a direct call, so the failure reaches the scan.
    operation({path(QStringLiteral("first")), path(QStringLiteral("second"))})->start();
    EXPECT_EQ(relative(m_delegate.imported), sorted({"first/a.avi", "second/b.avi"}));
    EXPECT_TRUE(log.lines().contains(
        QStringLiteral("Scan of %1 failed: catalogue refused").arg(path(QStringLiteral("first")))));
}
