#include "services/opensubtitles/OSSearchOperation.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/VideoFile.h"
#include "common/TestSupport.h"
#include "fakes/services/FakeOpenSubtitles.h"
#include "platform/OperationQueue.h"
#include "services/RecordingSearchDelegate.h"

#include <QThread>

#include <gtest/gtest.h>

using Fakes::FakeOpenSubtitles;

namespace {

FakeOpenSubtitles::Subtitle subtitle(const QString &id, const QString &hash, const QString &imdb)
{
    return {id,
            id + QStringLiteral(".srt"),
            QStringLiteral("eng"),
            hash,
            QStringLiteral("Movie"),
            QStringLiteral("2001"),
            id,
            imdb};
}

class OSSearchOperationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TNUserDefaultsHelper::setServiceInfo({{ServiceEntry::NameKey, OpenSubtitlesServiceKey},
                                              {ServiceEntry::URLKey, fake.endpoint().toString()}});
    }
    void TearDown() override
    {
        EXPECT_TRUE(fake.violations().isEmpty()) << qPrintable(fake.violations().join(u'\n'));
    }

    VideoFileSearchDictionary video(const QString &name, const QString &hash)
    {
        VideoFileSearchDictionary file;
        file.objectID = catalogue.insertVideoFile(QStringLiteral("/v/") + name)->objectID();
        file.fileName = QStringLiteral("/v/") + name;
        file.name = name;
        file.fileHash = hash;
        if (!hash.isNull())
            file.fileSize = 1000000;
        return file;
    }

    std::shared_ptr<OSSearchOperation> run(const VideoFileSearchList &files,
                                           const QString &user = {}, const QString &password = {})
    {
        auto operation = std::make_shared<OSSearchOperation>(
            files, QStringList{QStringLiteral("eng")}, QStringLiteral("ignored"));
        operation->setUsername(user);
        operation->setPassword(password);
        operation->setDelegate(&delegate);
        queue.addOperation(operation);
        return operation;
    }

    bool finished()
    {
        return TestSupport::waitUntil([this] { return delegate.finished; }, 15000);
    }

    TNModelController catalogue;
    FakeOpenSubtitles fake;
    OperationQueue queue;
    RecordingSearchDelegate delegate;
};

} // namespace

TEST_F(OSSearchOperationTest, SearchesByHashThenImdbThenNameForWhatIsLeft)
{
    const VideoFileSearchDictionary hashed =
        video(QStringLiteral("Hashed"), QStringLiteral("00000000000000aa"));
    const VideoFileSearchDictionary movie =
        video(QStringLiteral("Movie"), QStringLiteral("00000000000000bb"));
    VideoFileSearchDictionary episode =
        video(QStringLiteral("Show"), QStringLiteral("00000000000000cc"));
    episode.season = 1;
    episode.episode = 2;
    const VideoFileSearchDictionary unhashed = video(QStringLiteral("Unhashed"), QString());
    const VideoFileSearchDictionary lost = video(QStringLiteral("Lost"), QStringLiteral(""));

    fake.addByHash(
        QStringLiteral("00000000000000aa"),
        subtitle(QStringLiteral("1"), QStringLiteral("00000000000000aa"), QStringLiteral("11")));
    fake.addByHash(
        QStringLiteral("00000000000000aa"),
        subtitle(QStringLiteral("2"), QStringLiteral("00000000000000AA"), QStringLiteral("11")));
    fake.addMovie(QStringLiteral("00000000000000bb"), QStringLiteral("22"));
    fake.addByImdb(QStringLiteral("22"),
                   subtitle(QStringLiteral("3"), QStringLiteral("ffff"), QStringLiteral("22")));
    fake.addByQuery(QStringLiteral("Show S01E02"),
                    subtitle(QStringLiteral("4"), QStringLiteral("eeee"), QStringLiteral("33")));

    run({hashed, movie, episode, unhashed, lost});
    ASSERT_TRUE(finished());

    EXPECT_EQ(delegate.events,
              (QStringList{"login " + OpenSubtitlesServiceKey, QStringLiteral("results 2"),
                           QStringLiteral("results 1"), QStringLiteral("results 1"),
                           QStringLiteral("results nil"), QStringLiteral("finished")}));
    EXPECT_EQ(delegate.batches[0]->at(0).videoFileOID, hashed.objectID);
    EXPECT_TRUE(delegate.batches[0]->at(1).videoFileOID.isNull())
        << "a hash differing in letter case matches nothing";
    EXPECT_EQ(delegate.batches[1]->at(0).videoFileOID, movie.objectID);
    EXPECT_EQ(delegate.batches[2]->at(0).videoFileOID, episode.objectID);

    EXPECT_EQ(fake.methods(),
              (QStringList{QStringLiteral("LogIn"), QStringLiteral("SearchSubtitles"),
                           QStringLiteral("CheckMovieHash"), QStringLiteral("SearchSubtitles"),
                           QStringLiteral("SearchSubtitles"), QStringLiteral("SearchSubtitles"),
                           QStringLiteral("NoOperation"), QStringLiteral("ServerInfo")}));
    const auto calls = fake.calls();
    EXPECT_EQ(calls[1].params.value(1).toList().value(1).toList().size(), 4)
        << "every video with a hash and a size takes part in the hash stage";
    const QVariantList checked = calls[2].params.value(1).toList().value(1).toList();
    EXPECT_EQ(checked, (QVariantList{QStringLiteral("00000000000000bb"), QStringLiteral("")}));
    const auto nameOf = [&](int index) {
        return calls[index].queryField(0, QStringLiteral("query")).toString();
    };
    EXPECT_EQ(nameOf(4), QStringLiteral("Show S01E02"));
    EXPECT_EQ(nameOf(5), QStringLiteral("Lost"));
}

TEST_F(OSSearchOperationTest, ARefusedOrFailedLoginEndsTheRunBeforeAnySearch)
{
    fake.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
    run({video(QStringLiteral("A"), QStringLiteral("1"))}, QStringLiteral("alice"),
        QStringLiteral("nope"));
    ASSERT_TRUE(finished());
    EXPECT_EQ(delegate.events,
              (QStringList{"refused " + OpenSubtitlesServiceKey, QStringLiteral("finished")}));
    EXPECT_EQ(fake.methods(), QStringList{QStringLiteral("LogIn")});

    delegate.events.clear();
    delegate.finished = false;
    fake.setFailure(QStringLiteral("LogIn"), FakeOpenSubtitles::Failure::Fault);
    run({video(QStringLiteral("A"), QStringLiteral("1"))});
    ASSERT_TRUE(finished());
    EXPECT_EQ(delegate.events,
              (QStringList{"failed " + OpenSubtitlesServiceKey, QStringLiteral("finished")}));
}

TEST_F(OSSearchOperationTest, FailingStagesYieldNothingAndTheRunGoesOn)
{
    fake.setFailure(QStringLiteral("SearchSubtitles"), FakeOpenSubtitles::Failure::Html);
    fake.setFailure(QStringLiteral("CheckMovieHash"), FakeOpenSubtitles::Failure::Fault);
    run({video(QStringLiteral("A"), QStringLiteral("00000000000000aa"))});
    ASSERT_TRUE(finished());
    EXPECT_EQ(delegate.events,
              (QStringList{"login " + OpenSubtitlesServiceKey, QStringLiteral("results nil"),
                           QStringLiteral("finished")}));
    EXPECT_EQ(fake.methods().size(), 6);
}

TEST_F(OSSearchOperationTest, CancellingEndsAWaitingCallAndSkipsTheClosingCalls)
{
    fake.setFailure(QStringLiteral("SearchSubtitles"), FakeOpenSubtitles::Failure::Stall);
    auto operation = run({video(QStringLiteral("A"), QStringLiteral("00000000000000aa"))});
    ASSERT_TRUE(TestSupport::waitUntil([&] { return fake.methods().size() == 2; }));
    operation->cancel();
    ASSERT_TRUE(finished());
    EXPECT_EQ(delegate.events, (QStringList{"login " + OpenSubtitlesServiceKey,
                                            QStringLiteral("finished cancelled")}));
    EXPECT_EQ(fake.methods(),
              (QStringList{QStringLiteral("LogIn"), QStringLiteral("SearchSubtitles")}));
}

TEST_F(OSSearchOperationTest, TheSessionOutlivesTheRun)
{
    run({video(QStringLiteral("A"), QStringLiteral("00000000000000aa"))});
    ASSERT_TRUE(finished());
    delegate.finished = false;
    run({video(QStringLiteral("B"), QStringLiteral("00000000000000bb"))});
    ASSERT_TRUE(finished());
    EXPECT_EQ(fake.methods().count(QStringLiteral("LogIn")), 1);
    EXPECT_EQ(fake.methods().count(QStringLiteral("LogOut")), 0);

    // With the kept session, the searches are what finds the service gone.
    fake.server().stop();
    delegate.events.clear();
    delegate.finished = false;
    VideoFileSearchList many;
    for (int i = 0; i < 20; ++i)
        many.append(video(QStringLiteral("Show.S01E%1").arg(i), QString()));
    run(many);
    ASSERT_TRUE(finished());
    EXPECT_TRUE(delegate.events.contains("failed " + OpenSubtitlesServiceKey))
        << qPrintable(delegate.events.join(u'\n'));
    EXPECT_LE(delegate.events.count(QStringLiteral("results nil")), 3) << "not one per video";
}
