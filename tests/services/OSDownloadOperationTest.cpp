#include "services/opensubtitles/OSDownloadOperation.h"

#include "catalogue/ServiceKeys.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "fakes/services/FakeOpenSubtitles.h"
#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"
#include "services/opensubtitles/TNSubDownloadProtocol.h"

#include <QMutex>
#include <QThread>

#include <gtest/gtest.h>

using Fakes::FakeOpenSubtitles;
using Failure = FakeOpenSubtitles::Failure;

namespace {

struct Report
{
    TNRemoteSubtitle subtitle;
    bool failed = false;
    QThread *thread = nullptr;
};

class RecordingDownloadDelegate final : public TNSubDownloadProtocol
{
public:
    void subtitleDownloadEnded(const TNRemoteSubtitle &subtitle, const Error *error) override
    {
        QMutexLocker lock(&m_mutex);
        m_reports.append({subtitle, error != nullptr, QThread::currentThread()});
    }

    QList<Report> reports() const
    {
        QMutexLocker lock(&m_mutex);
        return m_reports;
    }

private:
    mutable QMutex m_mutex;
    QList<Report> m_reports;
};

class OSDownloadOperationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UserDefaults::standard().removeValue(TNUserDefaultsHelper::ServersKey);
        TNUserDefaultsHelper::setServiceInfo({{ServiceEntry::NameKey, OpenSubtitlesServiceKey},
                                              {ServiceEntry::URLKey, fake.endpoint().toString()}});
    }
    void TearDown() override
    {
        EXPECT_TRUE(fake.violations().isEmpty()) << qPrintable(fake.violations().join(u'\n'));
    }

    static QByteArray content(const QString &id) { return "1\r\nSubtitle " + id.toUtf8(); }

    ObjectId newSubtitle() { return catalogue.insertSubtitle()->objectID(); }

    // Entries for the ids "1" to "count", each with a catalogue subtitle of its own.
    QList<OSDownloadEntry> entries(int count)
    {
        QList<OSDownloadEntry> list;
        for (int n = 1; n <= count; ++n)
            list.append({QString::number(n), newSubtitle()});
        return list;
    }

    void deliver(int from, int to)
    {
        for (int n = from; n <= to; ++n)
            fake.addDownload(QString::number(n), content(QString::number(n)));
    }

    std::shared_ptr<OSDownloadOperation> run(const QList<OSDownloadEntry> &subtitles,
                                             bool cancelFirst = false)
    {
        auto operation = std::make_shared<OSDownloadOperation>();
        operation->setUsername(QStringLiteral("alice"));
        operation->setPassword(QStringLiteral("secret"));
        operation->setSubDelegate(&delegate);
        operation->setSubtitles(subtitles);
        if (cancelFirst)
            operation->cancel();
        queue.addOperation(operation);
        operation->waitUntilFinished();
        return operation;
    }

    // The number of ids in each DownloadSubtitles call.
    QList<qsizetype> chunkSizes() const
    {
        QList<qsizetype> sizes;
        for (const FakeOpenSubtitles::Call &call : fake.calls()) {
            if (call.method == QLatin1String("DownloadSubtitles"))
                sizes.append(call.params.value(1).toList().value(1).toList().size());
        }
        return sizes;
    }

    TNModelController catalogue;
    FakeOpenSubtitles fake;
    OperationQueue queue;
    RecordingDownloadDelegate delegate;
};

TEST_F(OSDownloadOperationTest, IdsGoInChunksOfThirtyEachInItsOwnSession)
{
    fake.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
    deliver(1, 31);
    const QList<OSDownloadEntry> list = entries(31);
    run(list);
    EXPECT_EQ(chunkSizes(), (QList<qsizetype>{30, 1}));
    EXPECT_EQ(fake.methods(), (QStringList{"LogIn", "DownloadSubtitles", "LogOut", "LogIn",
                                           "DownloadSubtitles", "LogOut"}));
    const QList<Report> reports = delegate.reports();
    ASSERT_EQ(reports.size(), 31);
    for (int n = 0; n < 31; ++n) {
        EXPECT_FALSE(reports[n].failed);
        EXPECT_EQ(reports[n].subtitle.subtitleOID, list[n].subObjectID);
        EXPECT_EQ(reports[n].subtitle.data, content(QString::number(n + 1)));
        EXPECT_NE(reports[n].thread, QThread::currentThread());
    }
}

TEST_F(OSDownloadOperationTest, ChunkBoundaries)
{
    fake.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
    run(entries(60));
    EXPECT_EQ(chunkSizes(), (QList<qsizetype>{30, 30}));
    run(entries(30));
    EXPECT_EQ(chunkSizes(), (QList<qsizetype>{30, 30, 30}));
    EXPECT_EQ(delegate.reports().size(), 90);
}

TEST_F(OSDownloadOperationTest, EveryEntryIsReportedInOrderDeliveredOrNot)
{
    fake.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
    deliver(2, 2);
    QList<OSDownloadEntry> list = entries(3);
    list.insert(1, {QString(), newSubtitle()});
    list.append({QStringLiteral("2"), newSubtitle()});
    run(list);

    EXPECT_EQ(chunkSizes(), (QList<qsizetype>{4}));
    const QList<Report> reports = delegate.reports();
    ASSERT_EQ(reports.size(), 5);
    const QList<bool> failed{true, true, false, true, false};
    for (int n = 0; n < 5; ++n) {
        EXPECT_EQ(reports[n].subtitle.subtitleOID, list[n].subObjectID) << n;
        EXPECT_EQ(reports[n].failed, failed[n]) << n;
        EXPECT_EQ(reports[n].subtitle.data.isEmpty(), failed[n]) << n;
        EXPECT_EQ(reports[n].subtitle.subtitleID.isEmpty(), failed[n]) << n;
    }
    EXPECT_EQ(reports[4].subtitle.data, content("2"));
}

TEST_F(OSDownloadOperationTest, NothingToDoOrCancelledMakesNoCallAndNoReport)
{
    auto empty = run({});
    EXPECT_EQ(empty->api(), nullptr);
    auto cancelled = run(entries(3), true);
    EXPECT_TRUE(cancelled->isFinished());
    EXPECT_TRUE(delegate.reports().isEmpty());
    EXPECT_TRUE(fake.calls().isEmpty());
}

TEST_F(OSDownloadOperationTest, RefusedLoginReportsEveryEntryAsFailed)
{
    deliver(1, 3);
    fake.setLoginReply(FakeOpenSubtitles::LoginReply::RefusedEmptyToken);
    run(entries(3));
    EXPECT_TRUE(chunkSizes().isEmpty());
    const QList<Report> reports = delegate.reports();
    ASSERT_EQ(reports.size(), 3);
    for (const Report &report : reports)
        EXPECT_TRUE(report.failed);
}

TEST_F(OSDownloadOperationTest, AnUnreadableChunkCostsOnlyItsOwnSubtitles)
{
    fake.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
    deliver(1, 35);
    fake.setDownloadCallFailure(1, Failure::NonStructEntry);
    run(entries(35));

    EXPECT_EQ(fake.methods(), (QStringList{"LogIn", "DownloadSubtitles", "LogOut", "LogIn",
                                           "DownloadSubtitles", "LogOut"}));
    const QList<Report> reports = delegate.reports();
    ASSERT_EQ(reports.size(), 35);
    for (int n = 0; n < 35; ++n)
        EXPECT_EQ(reports[n].failed, n < 30) << n;
    EXPECT_EQ(reports[34].subtitle.data, content("35"));
}

TEST_F(OSDownloadOperationTest, AReplyWithoutDataFailsTheChunkQuietly)
{
    fake.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
    deliver(1, 2);
    fake.setFailure(QStringLiteral("DownloadSubtitles"), Failure::LimitReached);
    run(entries(2));
    const QList<Report> reports = delegate.reports();
    ASSERT_EQ(reports.size(), 2);
    EXPECT_TRUE(reports[0].failed && reports[1].failed);
    EXPECT_EQ(fake.methods().last(), QStringLiteral("LogOut"));
}

} // namespace
