#include "catalogue/ServiceKeys.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/VideoFile.h"
#include "common/TestSupport.h"
#include "fakes/services/FakeBetaSeries.h"
#include "platform/OperationQueue.h"
#include "services/RecordingSearchDelegate.h"
#include "services/betaseries/BSSearchOperation.h"
#include "services/betaseries/BetaSeriesAPI.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

using Fakes::FakeBetaSeries;

namespace {

const QByteArray ShowRecords =
    "<subtitle><title>Show</title><season>1</season><episode>2</episode><language>VO</language>"
    "<file>Show.S01E02.HDTV.zip</file><content><item>Show.S01E02.HDTV.en.srt</item>"
    "<item>Show.S01E02.720p.en.srt</item><item>Show.S01E02.WEB.en.srt</item></content>"
    "<url>http://127.0.0.1/dl/Show.S01E02.HDTV.zip</url></subtitle>"
    "<subtitle><season>1</season><episode>2</episode><language>vf</language>"
    "<file>Show.S01E02.fr.srt</file><url>http://127.0.0.1/dl/Show.S01E02.fr.srt</url></subtitle>"
    "<subtitle><season>1</season><episode>0</episode><language>VO</language>"
    "<file>Show.S01.Pack.zip</file><url>http://127.0.0.1/dl/pack.zip</url></subtitle>"
    "<subtitle><season>x</season><episode>3abc</episode><language>VO</language>"
    "<file>Show.S00E03.zip</file><url>http://127.0.0.1/dl/s0.zip</url><content/></subtitle>";

class BetaSeriesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TNUserDefaultsHelper::setServiceInfo({{ServiceEntry::NameKey, BetaSeriesServiceKey},
                                              {ServiceEntry::URLKey, fake.host().toString()}});
        fake.addAccount(QStringLiteral("alice"), QStringLiteral("s\u00e9cret"));
    }
    void TearDown() override
    {
        EXPECT_TRUE(fake.violations().isEmpty()) << qPrintable(fake.violations().join(u'\n'));
    }

    VideoFileSearchDictionary video(const QString &path, std::optional<qint64> season = {},
                                    std::optional<qint64> episode = {})
    {
        VideoFileSearchDictionary file;
        file.objectID = catalogue.insertVideoFile(path)->objectID();
        file.fileName = path;
        file.season = season;
        file.episode = episode;
        return file;
    }

    BetaSeriesAPI api(const QString &user = {}, const QString &password = {})
    {
        return BetaSeriesAPI(user, password, fake.host());
    }

    RecordingSearchDelegate &runOperation(const VideoFileSearchList &files,
                                          const QStringList &languages, const QString &user = {})
    {
        auto operation =
            std::make_shared<BSSearchOperation>(files, languages, BetaSeriesServiceKey);
        operation->setUsername(user);
        operation->setPassword(QStringLiteral("s\u00e9cret"));
        operation->setDelegate(&delegate);
        queue.addOperation(operation);
        queue.waitUntilAllOperationsAreFinished();
        TestSupport::processEventsFor(50);
        return delegate;
    }

    TNModelController catalogue;
    FakeBetaSeries fake;
    OperationQueue queue;
    RecordingSearchDelegate delegate;
};

} // namespace

TEST(BetaSeriesAPI, SearchesTheFileNameWithItsEpisodeTag)
{
    VideoFileSearchDictionary file;
    file.fileName = QStringLiteral("/tv/Show.s01e02.mkv");
    file.season = 1;
    file.episode = 2;
    EXPECT_EQ(BetaSeriesAPI::searchFileName(file), QStringLiteral("Show.s01e02.mkv"));
    file.fileName = QStringLiteral("/tv/Show.1x02.mkv");
    EXPECT_EQ(BetaSeriesAPI::searchFileName(file), QStringLiteral("Show.1x02.mkv S01E02"));
    file.season = 0;
    EXPECT_EQ(BetaSeriesAPI::searchFileName(file), QStringLiteral("Show.1x02.mkv"));
    file.season.reset();
    file.fileName = QString();
    EXPECT_TRUE(BetaSeriesAPI::searchFileName(file).isEmpty());
}

TEST_F(BetaSeriesTest, LogsInForATokenThatTheSearchesCarry)
{
    BetaSeriesAPI anonymous = api();
    EXPECT_EQ(anonymous.login(), 0);
    EXPECT_TRUE(fake.queries().isEmpty());

    BetaSeriesAPI alice = api(QStringLiteral("alice"), QStringLiteral("s\u00e9cret"));
    EXPECT_EQ(alice.login(), 0);
    EXPECT_EQ(alice.token(), QStringLiteral("4f2b8a1c9d"));
    EXPECT_EQ(
        fake.queries().last(),
        QStringLiteral("/members/auth.xml?key=7d3f0a85c21e&login=alice&password=") +
            QString::fromLatin1(QCryptographicHash::hash(QStringLiteral("s\u00e9cret").toUtf8(),
                                                         QCryptographicHash::Md5)
                                    .toHex()));
    alice.searchSubtitleUsingWeb(video(QStringLiteral("/tv/Law & Order #1+2 \u00e9t\u00e9.mkv")),
                                 QStringLiteral("VF"));
    EXPECT_EQ(
        fake.queries().last(),
        QStringLiteral("/subtitles/show.xml?key=7d3f0a85c21e&file=Law%20%26%20Order%20%231%2B2%20"
                       "%C3%A9t%C3%A9.mkv&language=VF&token=4f2b8a1c9d"));
    anonymous.searchSubtitleUsingWeb(video(QStringLiteral("/tv/a.mkv")), QString());
    EXPECT_EQ(fake.queries().last(),
              QStringLiteral("/subtitles/show.xml?key=7d3f0a85c21e&file=a.mkv"));
}

TEST_F(BetaSeriesTest, TellsRefusedAccountsFromUnusableReplies)
{
    EXPECT_EQ(api(QStringLiteral("alice"), QStringLiteral("wrong")).login(), 1);
    fake.setLoginReply(FakeBetaSeries::LoginReply::EmptyToken);
    EXPECT_EQ(api(QStringLiteral("alice"), QStringLiteral("s\u00e9cret")).login(), 1);
    fake.setLoginReply(FakeBetaSeries::LoginReply::TwoTokens);
    BetaSeriesAPI two = api(QStringLiteral("alice"), QStringLiteral("s\u00e9cret"));
    EXPECT_EQ(two.login(), 0);
    EXPECT_EQ(two.token(), QStringLiteral("a"));
    fake.setLoginReply(FakeBetaSeries::LoginReply::NotXml);
    EXPECT_EQ(api(QStringLiteral("alice"), QStringLiteral("s\u00e9cret")).login(), 2);
    const QUrl host = fake.host();
    fake.server().stop();
    EXPECT_EQ(BetaSeriesAPI(QStringLiteral("alice"), QStringLiteral("x"), host).login(), 2);
}

TEST_F(BetaSeriesTest, MapsOneCandidatePerArchiveEntry)
{
    fake.setSearchReply(QStringLiteral("Show.S01E02.mkv"),
                        FakeBetaSeries::subtitlesXml(ShowRecords));
    const VideoFileSearchDictionary file = video(QStringLiteral("/tv/Show.S01E02.mkv"), 1, 2);
    const RemoteSubtitles found = api().searchSubtitleUsingWeb(file, QString());
    ASSERT_TRUE(found.has_value());
    ASSERT_EQ(found->size(), 4);
    QStringList names;
    for (const TNRemoteSubtitle &s : *found) {
        names.append(s.lang + u' ' + s.subFileName);
        EXPECT_EQ(s.service, BetaSeriesServiceKey);
        EXPECT_EQ(s.name, QStringLiteral(""));
        EXPECT_EQ(s.videoFileOID, file.objectID);
        EXPECT_FALSE(s.year.has_value());
        EXPECT_TRUE(s.subHash.isNull());
        EXPECT_EQ(s.season, 1);
        EXPECT_EQ(s.episode, 2);
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("en Show.S01E02.HDTV.en.srt"),
                                  QStringLiteral("en Show.S01E02.720p.en.srt"),
                                  QStringLiteral("en Show.S01E02.WEB.en.srt"),
                                  QStringLiteral("fr Show.S01E02.fr.srt")}));
    EXPECT_EQ(found->at(1).subtitleID, QStringLiteral("Show.S01E02.HDTV.zip"));
    EXPECT_EQ(found->at(1).releaseInfo, QStringLiteral("Show.S01E02.HDTV.zip"));
    EXPECT_EQ(found->at(1).downloadURL, QStringLiteral("http://127.0.0.1/dl/Show.S01E02.HDTV.zip"));
}

TEST_F(BetaSeriesTest, ARecordLackingAnElementSpoilsTheAnswerButAnUnreadableOneIsEmpty)
{
    const VideoFileSearchDictionary file = video(QStringLiteral("/tv/Show.S01E02.mkv"), 1, 2);
    fake.setSearchReply(QStringLiteral("Show.S01E02.mkv"),
                        FakeBetaSeries::subtitlesXml(
                            ShowRecords + "<subtitle><season>1</season><episode>2</episode>"
                                          "<language>VO</language><file>x.zip</file></subtitle>"));
    EXPECT_FALSE(api().searchSubtitleUsingWeb(file, QString()).has_value());
    fake.setSearchReply(QStringLiteral("Show.S01E02.mkv"),
                        FakeBetaSeries::subtitlesXml(
                            "<subtitle><season>1</season><language>VO</language></subtitle>"));
    EXPECT_FALSE(api().searchSubtitleUsingWeb(file, QString()).has_value());
    fake.setSearchReply(QStringLiteral("Show.S01E02.mkv"), "<html><body>Oops</p></body>");
    const RemoteSubtitles unreadable = api().searchSubtitleUsingWeb(file, QString());
    ASSERT_TRUE(unreadable.has_value());
    EXPECT_TRUE(unreadable->isEmpty());
}

TEST(BetaSeriesAPI, AReplyNamingACharacterXmlForbidsIsUnreadable)
{
    VideoFileSearchDictionary file;
    file.fileName = QStringLiteral("/tv/Show.S01E02.mkv");
    const QByteArray reply = FakeBetaSeries::subtitlesXml(
        "<subtitle><season>1</season><episode>2</episode><language>VO</language>"
        "<file>Show.S01E02&#0;.zip</file><url>http://bs.test/dl/Show.S01E02.zip</url></subtitle>");
    const RemoteSubtitles found = BetaSeriesAPI::subtitlesFromReply(reply, file);
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(found->isEmpty());
    EXPECT_FALSE(BetaSeriesAPI::tokenFromReply("<root><member><token>a&#0;b</token></member>"
                                               "</root>"));
}

TEST_F(BetaSeriesTest, TheOperationSearchesOnlyInEnglishAndFrench)
{
    const VideoFileSearchDictionary file = video(QStringLiteral("/tv/Show.S01E02.mkv"), 1, 2);
    runOperation({file}, {QStringLiteral("de"), QStringLiteral("it")});
    EXPECT_TRUE(delegate.events.isEmpty());
    EXPECT_TRUE(fake.queries().isEmpty());

    runOperation({file, video(QStringLiteral("/tv/b.mkv"))},
                 {QStringLiteral("fr"), QStringLiteral("en")}, QStringLiteral("alice"));
    EXPECT_EQ(delegate.events,
              (QStringList{"login " + BetaSeriesServiceKey, QStringLiteral("results 0"),
                           QStringLiteral("results 0"), QStringLiteral("finished")}));
    EXPECT_FALSE(fake.queries().at(1).contains(QStringLiteral("language=")));
    EXPECT_TRUE(fake.queries().at(1).endsWith(QStringLiteral("&token=4f2b8a1c9d")));

    delegate.events.clear();
    runOperation({file}, {QStringLiteral("fr")});
    EXPECT_TRUE(fake.queries().last().contains(QStringLiteral("&language=VF")));
    runOperation({file}, {QStringLiteral("en"), QStringLiteral("de")});
    EXPECT_TRUE(fake.queries().last().contains(QStringLiteral("&language=VO")));
}

TEST_F(BetaSeriesTest, ARefusedLoginEndsTheOperationBeforeAnySearch)
{
    auto operation = std::make_shared<BSSearchOperation>(
        VideoFileSearchList{video(QStringLiteral("/tv/a.mkv"))}, QStringList{QStringLiteral("en")},
        BetaSeriesServiceKey);
    operation->setUsername(QStringLiteral("alice"));
    operation->setPassword(QStringLiteral("wrong"));
    operation->setDelegate(&delegate);
    queue.addOperation(operation);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return delegate.finished; }));
    EXPECT_EQ(delegate.events,
              (QStringList{"refused " + BetaSeriesServiceKey, QStringLiteral("finished")}));
    EXPECT_EQ(fake.queries().size(), 1);
}
