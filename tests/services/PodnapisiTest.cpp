#include "catalogue/ServiceKeys.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/VideoFile.h"
#include "common/TestSupport.h"
#include "fakes/services/FakePodnapisi.h"
#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"
#include "services/HashValue.h"
#include "services/RecordingSearchDelegate.h"
#include "services/podnapisi/PodAPI.h"
#include "services/podnapisi/PodParseKeys.h"
#include "services/podnapisi/PodSearchOperation.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

using Fakes::FakePodnapisi;

namespace {

class PodnapisiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("TROVANEL_EXTRA_CA",
                Fakes::FakeHttpServer::certificateAuthorityPath().toLocal8Bit());
        TNUserDefaultsHelper::setServiceInfo({{ServiceEntry::NameKey, PodnapisiServiceKey},
                                              {ServiceEntry::URLKey, fake.site().toString()}});
    }
    void TearDown() override
    {
        EXPECT_TRUE(fake.violations().isEmpty()) << qPrintable(fake.violations().join(u'\n'));
    }

    VideoFileSearchDictionary video(const QString &path, const QString &name)
    {
        VideoFileSearchDictionary file;
        file.objectID = catalogue.insertVideoFile(path)->objectID();
        file.fileName = path;
        file.name = name;
        return file;
    }

    PodAPI api() const { return PodAPI(QString(), QString(), QString(), QString(), fake.site()); }

    TNModelController catalogue;
    FakePodnapisi fake;
};

} // namespace

TEST_F(PodnapisiTest, BuildsTheSearchQueryInItsOrderWithEveryValueEscaped)
{
    VideoFileSearchDictionary episode =
        video(QStringLiteral("/v/Name.S02E05.mkv"), QStringLiteral("Name"));
    episode.season = 2;
    episode.episode = 5;
    episode.year = 2010;
    VideoFileSearchDictionary movie =
        video(QStringLiteral("/v/Name.2010.mkv"), QStringLiteral("Name"));
    movie.year = 2010;
    movie.season = 3;
    const VideoFileSearchDictionary bare =
        video(QStringLiteral("/v/Name.mkv"), QStringLiteral("Name"));
    const VideoFileSearchDictionary odd =
        video(QStringLiteral("/v/odd.mkv"), QStringLiteral("Law & Order #1 + \u00c9t\u00e9=x"));
    const VideoFileSearchDictionary nameless = video(QStringLiteral("/v/Some.Film.avi"), QString());

    for (const auto &file : {episode, movie, bare, odd, nameless}) {
        const RemoteSubtitles found = api().searchSubtitleUsingWeb(file, QStringLiteral("2"));
        ASSERT_TRUE(found.has_value());
        EXPECT_TRUE(found->isEmpty());
    }
    EXPECT_EQ(fake.queries(),
              (QStringList{QStringLiteral("sK=Name&sJ=2&sTS=2&sTE=5&sT=1&sXML=1"),
                           QStringLiteral("sK=Name&sJ=2&sY=2010&sT=0&sXML=1"),
                           QStringLiteral("sK=Name&sJ=2&sT=0&sXML=1"),
                           QStringLiteral("sK=Law%20%26%20Order%20%231%20%2B%20%C3%89t%C3%A9%3Dx"
                                          "&sJ=2&sT=0&sXML=1"),
                           QStringLiteral("sK=Some.Film&sJ=2&sT=0&sXML=1")}));
}

TEST_F(PodnapisiTest, MapsRecordsAndFormsTheirDownloadAddresses)
{
    VideoFileSearchDictionary file =
        video(QStringLiteral("/v/Name.S02E05.mkv"), QStringLiteral("Name"));
    file.season = 2;
    file.episode = 5;
    fake.addRecords(QStringLiteral("Name"), QStringLiteral("2"),
                    {{QStringLiteral("2311234"),
                      QStringLiteral("12ab"),
                      QStringLiteral("Name.S02E05.HDTV"),
                      {QStringLiteral("Name.S02E05.WEB"), QStringLiteral("ignored")},
                      QStringLiteral("/en/name-subtitles-p2311234")},
                     {QStringLiteral("2311235"),
                      QString(),
                      QStringLiteral(""),
                      {},
                      QStringLiteral("/en/name-subtitles-p2311235")}});
    const RemoteSubtitles found = api().searchSubtitleUsingWeb(file, QStringLiteral("2"));
    ASSERT_TRUE(found.has_value());
    ASSERT_EQ(found->size(), 2);
    const QString site = fake.site().toString();

    const TNRemoteSubtitle &first = found->at(0);
    EXPECT_EQ(first.service, PodnapisiServiceKey);
    EXPECT_EQ(first.subtitleID, QStringLiteral("2311234"));
    EXPECT_EQ(first.downloadURL, site + QStringLiteral("/subtitles/12ab/download"));
    EXPECT_EQ(first.name, QStringLiteral("Name.S02E05.WEB"));
    EXPECT_EQ(first.releaseInfo, QStringLiteral("Name.S02E05.WEB"));
    EXPECT_EQ(first.subFileName, QStringLiteral("Name.S02E05.WEB"));
    EXPECT_EQ(first.lang, QStringLiteral("2"));
    EXPECT_EQ(first.subFormat, QStringLiteral(""));
    EXPECT_EQ(first.imdbID, QStringLiteral(""));
    EXPECT_TRUE(first.subHash.isNull());
    EXPECT_FALSE(first.year.has_value());
    EXPECT_EQ(first.season, 2);
    EXPECT_EQ(first.episode, 5);
    EXPECT_EQ(first.videoFileOID, file.objectID);

    const TNRemoteSubtitle &second = found->at(1);
    EXPECT_EQ(second.downloadURL, site + QStringLiteral("/en/name-subtitles-p2311235/download"));
    EXPECT_EQ(second.name, QStringLiteral(""));
    EXPECT_EQ(second.subFileName, QStringLiteral("Name.S02E05.srt"));
}

TEST_F(PodnapisiTest, ARecordWithNoUsablePageAddressIsSkipped)
{
    const VideoFileSearchDictionary file =
        video(QStringLiteral("/v/Name.mkv"), QStringLiteral("Name"));
    const QByteArray reply =
        "<results>"
        "<subtitle><id>1</id><url>http://[broken</url><release/></subtitle>"
        "<subtitle><id>2</id><url/><release/></subtitle>"
        "<subtitle><id>4</id><url>::</url><release/></subtitle>"
        "<subtitle><id>3</id><url>https://pod.test/p3</url><release/></subtitle>"
        "</results>";
    const RemoteSubtitles found = api().subtitlesFromReply(reply, file, QStringLiteral("2"));
    ASSERT_TRUE(found.has_value());
    ASSERT_EQ(found->size(), 1);
    EXPECT_EQ(found->at(0).downloadURL, QStringLiteral("https://pod.test/p3/download"));
}

TEST_F(PodnapisiTest, ARecordWhosePublicIdIsNotOneIsSkipped)
{
    const VideoFileSearchDictionary file =
        video(QStringLiteral("/v/Name.mkv"), QStringLiteral("Name"));
    QByteArray reply = "<results>";
    const QByteArrayList pids{"../../admin/delete",
                              "ab%3Fc",
                              "ab?x=1",
                              "ab#frag",
                              "a/b",
                              "a b",
                              "\xc3\xa9t\xc3\xa9",
                              "WMgp",
                              "d_Im",
                              "CJw-",
                              "abcdefghijklmnopq"};
    for (const QByteArray &pid : pids)
        reply += "<subtitle><id>" + pid.toPercentEncoding() + "</id><pid>" + pid +
                 "</pid><url>https://pod.test/p</url><release>R</release></subtitle>";
    reply += "<subtitle><id>page</id><url>https://pod.test/a%2Fb%3Fc%20d</url><release/>"
             "</subtitle></results>";
    const RemoteSubtitles found = api().subtitlesFromReply(reply, file, QStringLiteral("2"));
    ASSERT_TRUE(found.has_value());
    QStringList addresses;
    for (const TNRemoteSubtitle &subtitle : *found)
        addresses.append(subtitle.downloadURL);
    const QString site = fake.site().toString();
    EXPECT_EQ(addresses,
              (QStringList{site + "/subtitles/WMgp/download", site + "/subtitles/d_Im/download",
                           site + "/subtitles/CJw-/download",
                           "https://pod.test/a%2Fb%3Fc%20d/download"}));
}

TEST_F(PodnapisiTest, ReferencesAreReadAndOnesToForbiddenCharactersSpoilTheReply)
{
    const VideoFileSearchDictionary file =
        video(QStringLiteral("/v/Name.mkv"), QStringLiteral("Name"));
    const QByteArray reply = "<results><subtitle><id>1&#50;</id><url>https://pod.test/p?a=1&amp;"
                             "b=2</url><release>&#xC9;t&#233; &lt;&gt;<![CDATA[&#0;]]></release>"
                             "</subtitle></results>";
    const RemoteSubtitles found = api().subtitlesFromReply(reply, file, QStringLiteral("2"));
    ASSERT_TRUE(found.has_value());
    ASSERT_EQ(found->size(), 1);
    EXPECT_EQ(found->at(0).subtitleID, QStringLiteral("12"));
    EXPECT_EQ(found->at(0).releaseInfo, QStringLiteral("\u00c9t\u00e9 <>&#0;"));
    EXPECT_EQ(found->at(0).downloadURL, QStringLiteral("https://pod.test/p/download?a=1&b=2"));

    for (const char *forbidden : {"1&#0;2", "1&#x1b;2", "1\x01"}) {
        QByteArray hostile = reply;
        hostile.replace("1&#50;", forbidden);
        const RemoteSubtitles refused =
            api().subtitlesFromReply(hostile, file, QStringLiteral("2"));
        ASSERT_TRUE(refused.has_value());
        EXPECT_TRUE(refused->isEmpty()) << forbidden;
    }
}

TEST_F(PodnapisiTest, ARecordWithoutItsIdSpoilsTheWholeAnswer)
{
    const VideoFileSearchDictionary file =
        video(QStringLiteral("/v/Name.mkv"), QStringLiteral("Name"));
    QList<FakePodnapisi::Record> records;
    for (int i = 0; i < 10; ++i)
        records.append(
            {QString::number(i), QString(), QStringLiteral("R"), {}, QStringLiteral("/p")});
    records[6].id = QString();
    fake.addRecords(QStringLiteral("Name"), QStringLiteral("2"), records);
    EXPECT_FALSE(api().searchSubtitleUsingWeb(file, QStringLiteral("2")).has_value());
    records[6].id = QStringLiteral("6");
    records[3].release = QString();
    fake.addRecords(QStringLiteral("Name"), QStringLiteral("2"), records);
    EXPECT_FALSE(api().searchSubtitleUsingWeb(file, QStringLiteral("2")).has_value());
}

TEST_F(PodnapisiTest, ReadsTheRecordedRepliesOfTheRealService)
{
    QFile recorded(
        TestSupport::fixturePath(QStringLiteral("podnapisi-xml/test_query_movie_2.xml")));
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    const QByteArray xml = recorded.readAll();
    fake.setReply(QStringLiteral("Man of Steel"), QStringLiteral("2"), xml);
    VideoFileSearchDictionary file =
        video(QStringLiteral("/v/Man.of.Steel.mkv"), QStringLiteral("Man of Steel"));
    file.year = 2013;
    const RemoteSubtitles found = api().searchSubtitleUsingWeb(file, QStringLiteral("2"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->size(), xml.count("<subtitle>"));
    ASSERT_FALSE(found->isEmpty());
    EXPECT_EQ(found->first().subtitleID, QStringLiteral("2738264"));
    EXPECT_EQ(found->first().downloadURL,
              fake.site().toString() + QStringLiteral("/subtitles/WMgp/download"));
}

TEST_F(PodnapisiTest, UnreadableOrMissingPagesAnswerAnEmptyList)
{
    UserDefaults::standard().setValue(QStringLiteral("RequestTimeout"), 1);
    const VideoFileSearchDictionary file =
        video(QStringLiteral("/v/Name.mkv"), QStringLiteral("Name"));
    for (const auto failure : {FakePodnapisi::Failure::Html, FakePodnapisi::Failure::ServerError,
                               FakePodnapisi::Failure::Stall, FakePodnapisi::Failure::Swollen}) {
        fake.setFailure(failure);
        QElapsedTimer clock;
        clock.start();
        const RemoteSubtitles found = api().searchSubtitleUsingWeb(file, QStringLiteral("2"));
        ASSERT_TRUE(found.has_value());
        EXPECT_TRUE(found->isEmpty());
        EXPECT_LT(clock.elapsed(), 10000);
    }
    const QUrl site = fake.site();
    fake.server().stop();
    const RemoteSubtitles refused = PodAPI(QString(), QString(), QString(), QString(), site)
                                        .searchSubtitleUsingWeb(file, QStringLiteral("2"));
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(refused->isEmpty());
}

TEST_F(PodnapisiTest, TheLoginSucceedsWithoutAskingTheService)
{
    EXPECT_EQ(api().login(), 0);
    const PodAPI withAccount(QStringLiteral("alice"), QStringLiteral("pw"), QString(), QString(),
                             fake.site());
    EXPECT_EQ(withAccount.login(), 0);
    const QString md5 = HashValue::md5HashWithData("pw").description();
    EXPECT_EQ(
        withAccount.hashPassword(QStringLiteral("nonce")),
        HashValue::sha256HashWithData((md5 + QStringLiteral("nonce")).toUtf8()).description());
    EXPECT_EQ(withAccount.hashPassword(QStringLiteral("nonce")).size(), 64);
    EXPECT_TRUE(fake.queries().isEmpty());
}

TEST_F(PodnapisiTest, TheOperationSearchesEveryVideoInEveryLanguageOrOnlyLogsIn)
{
    OperationQueue queue;
    RecordingSearchDelegate delegate;
    const VideoFileSearchList files{video(QStringLiteral("/v/A.mkv"), QStringLiteral("A")),
                                    video(QStringLiteral("/v/B.mkv"), QStringLiteral("B"))};
    fake.addRecords(QStringLiteral("B"), QStringLiteral("28"),
                    {{QStringLiteral("9"),
                      QStringLiteral("p9"),
                      QStringLiteral("B.rel"),
                      {},
                      QStringLiteral("/b")}});
    auto search = std::make_shared<PodSearchOperation>(
        files, QStringList{QStringLiteral("2"), QStringLiteral("28")}, PodnapisiServiceKey);
    search->setUsername(QStringLiteral("alice"));
    search->setDelegate(&delegate);
    queue.addOperation(search);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return delegate.finished; }, 15000));
    EXPECT_EQ(delegate.events,
              (QStringList{QStringLiteral("results 0"), QStringLiteral("results 0"),
                           QStringLiteral("results 0"), QStringLiteral("results 1"),
                           QStringLiteral("finished")}));
    EXPECT_EQ(fake.queries().size(), 4);

    delegate.events.clear();
    delegate.finished = false;
    auto login = std::make_shared<PodSearchOperation>(files, QStringList{QStringLiteral("2")},
                                                      PodnapisiServiceKey);
    login->setOnlyLogin(true);
    login->setUsername(QStringLiteral("alice"));
    login->setPassword(QStringLiteral("pw"));
    login->setDelegate(&delegate);
    queue.addOperation(login);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return delegate.finished; }, 15000));
    EXPECT_EQ(delegate.events,
              (QStringList{"login " + PodnapisiServiceKey, QStringLiteral("finished")}));
    EXPECT_EQ(fake.queries().size(), 4);
}

TEST_F(PodnapisiTest, PageMarkersComeFromTheSettingsOnlyWhenBothAreSet)
{
    UserDefaults &settings = UserDefaults::standard();
    settings.removeValue(TNPodParseBegin);
    settings.removeValue(TNPodParseEnd);
    const auto markersOfANewSearch = [] {
        const PodSearchOperation search({}, {}, PodnapisiServiceKey);
        return QStringList{search.beginParse(), search.endParse()};
    };
    const QStringList defaults{PodSearchOperation::DefaultBeginParse,
                               PodSearchOperation::DefaultEndParse};
    EXPECT_EQ(defaults.first().size(), 48);
    EXPECT_EQ(markersOfANewSearch(), defaults);
    settings.setValue(TNPodParseBegin, QStringLiteral("<a id=\"dl\" href=\""));
    EXPECT_EQ(markersOfANewSearch(), defaults) << "one marker alone is not used";
    settings.setValue(TNPodParseEnd, QString());
    EXPECT_EQ(markersOfANewSearch(), defaults);
    settings.setValue(TNPodParseEnd, QStringLiteral("\""));
    EXPECT_EQ(markersOfANewSearch(),
              (QStringList{QStringLiteral("<a id=\"dl\" href=\""), QStringLiteral("\"")}));
    settings.removeValue(TNPodParseBegin);
    settings.removeValue(TNPodParseEnd);
}

TEST_F(PodnapisiTest, PageHelpersCutLinksOutOfASubtitlePage)
{
    const QByteArray page =
        "<html><body><a href=\"/en/subtitles/search\">Search</a>\n"
        "<form class=\"form-inline download-form\" action=\"/subtitles/12ab/download\">\n"
        "<a class=\"x\" href=\"/subtitles/12ab/Alpha.2010\">Alpha 2010 DVDRip</a>\n"
        "<i>\xe9t\xe9</i></body></html>";
    Fakes::FakeHttpServer site([&](const Fakes::FakeRequest &request) {
        if (request.path() == "/page")
            return Fakes::FakeResponse::html(page);
        if (request.path() == "/tail")
            return Fakes::FakeResponse::html("<b>x</b>");
        return Fakes::FakeResponse::html("missing", 404);
    });
    const QUrl pageURL = site.url(QStringLiteral("/page"));
    const PodAPI client(QString(), QString(), PodSearchOperation::DefaultBeginParse,
                        PodSearchOperation::DefaultEndParse, site.url());

    EXPECT_EQ(client.downloadURLForPage(pageURL), QStringLiteral("/subtitles/12ab/download"));
    EXPECT_EQ(client.urlForPage(pageURL, QStringLiteral("<i>"), QStringLiteral("</i>")),
              QStringLiteral("\u00e9t\u00e9"));
    // The end marker may not reach the page's last character.
    const QUrl tail = site.url(QStringLiteral("/tail"));
    EXPECT_EQ(client.urlForPage(tail, QStringLiteral("<b>"), QStringLiteral("</b")),
              QStringLiteral("x"));
    EXPECT_TRUE(client.urlForPage(tail, QStringLiteral("<b>"), QStringLiteral("</b>")).isNull());
    EXPECT_TRUE(
        client.urlForPage(pageURL, QStringLiteral("<form"), QStringLiteral("<none>")).isNull());
    EXPECT_TRUE(client.urlForPage(pageURL, QString(), QStringLiteral("\">")).isNull());

    EXPECT_EQ(client.urlForpage(pageURL, QStringLiteral("Alpha.2010")),
              QStringLiteral("/subtitles/12ab/Alpha.2010"));
    EXPECT_TRUE(client.urlForpage(pageURL, QStringLiteral("Beta")).isNull());
    EXPECT_TRUE(client.urlForpage(pageURL, QStringLiteral("<html>")).isNull());

    const QUrl missing = site.url(QStringLiteral("/gone"));
    EXPECT_TRUE(client.downloadURLForPage(missing).isNull());
    EXPECT_TRUE(client.urlForpage(missing, QStringLiteral("Search")).isNull());

    EXPECT_EQ(PodAPI::nameFromRelease(QStringLiteral("Alpha.2010.XViD\n alpha.2010.dvdrip\tother"),
                                      QStringLiteral("/v/Alpha.2010.DVDRip.avi")),
              QStringLiteral("alpha.2010.dvdrip"));
    EXPECT_EQ(PodAPI::nameFromRelease(QStringLiteral("  First Second"), QStringLiteral("x.avi")),
              QStringLiteral("First"));
    EXPECT_EQ(PodAPI::nameFromRelease(QString(), QStringLiteral("x.avi")), QString());
}
