#include "services/opensubtitles/OSApi.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"
#include "fakes/services/Compression.h"
#include "fakes/services/FakeOpenSubtitles.h"
#include "platform/Exception.h"
#include "platform/UserDefaults.h"

#include "common/TestSupport.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using Fakes::FakeOpenSubtitles;
using Failure = FakeOpenSubtitles::Failure;
using Fakes::compress;

namespace {

FakeOpenSubtitles::Subtitle alpha()
{
    return {QStringLiteral("1951976245"),
            QStringLiteral("Alpha.2010.DVDRip.srt"),
            QStringLiteral("eng"),
            QStringLiteral("a0601fdf9f620d40"),
            QStringLiteral("Alpha"),
            QStringLiteral("2010"),
            QStringLiteral("Alpha.2010.DVDRip"),
            QStringLiteral("7654321")};
}

class OSApiTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        EXPECT_TRUE(fake.violations().isEmpty()) << qPrintable(fake.violations().join(u'\n'));
    }

    OSApi api(const QString &user = {}, const QString &password = {})
    {
        return OSApi(user, password, fake.endpoint());
    }

    VideoFileSearchDictionary video(const QString &path)
    {
        VideoFileSearchDictionary file;
        file.objectID = catalogue.insertVideoFile(path)->objectID();
        file.fileName = path;
        return file;
    }

    TNModelController catalogue;
    FakeOpenSubtitles fake;
};

} // namespace

TEST_F(OSApiTest, LogsInAnonymouslyAndSharesTheSessionUntilALogout)
{
    OSApi first = api();
    EXPECT_EQ(first.login(), 0);
    EXPECT_EQ(first.token(), QStringLiteral("tok-0001"));
    OSApi second = api();
    EXPECT_EQ(second.login(), 0);
    EXPECT_EQ(second.token(), QStringLiteral("tok-0001"));
    ASSERT_EQ(fake.methods(), QStringList{QStringLiteral("LogIn")});
    const auto login = fake.calls().first().params;
    EXPECT_EQ(login.value(0).toList().value(1), QString());
    EXPECT_EQ(login.value(1).toList().value(1), QString());

    EXPECT_TRUE(second.logout());
    EXPECT_TRUE(second.token().isEmpty());
    OSApi third = api();
    EXPECT_EQ(third.login(), 0);
    EXPECT_EQ(third.token(), QStringLiteral("tok-0002"));
}

TEST_F(OSApiTest, ALogoutWithoutASessionKeepsTheSharedToken)
{
    OSApi loggedIn = api();
    ASSERT_EQ(loggedIn.login(), 0);
    OSApi idle = api();
    EXPECT_FALSE(idle.logout());
    OSApi later = api();
    EXPECT_EQ(later.login(), 0);
    EXPECT_EQ(fake.methods(), QStringList{QStringLiteral("LogIn")});
}

TEST_F(OSApiTest, TellsRefusedAccountsFromUnusableReplies)
{
    fake.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
    EXPECT_EQ(api(QStringLiteral("alice"), QStringLiteral("wrong")).login(), 1);
    OSApi alice = api(QStringLiteral("alice"), QStringLiteral("secret"));
    EXPECT_EQ(alice.login(), 0);
    alice.logout();

    // A refusal that carries no token is still a refusal.
    fake.setLoginReply(FakeOpenSubtitles::LoginReply::RefusedNoToken);
    EXPECT_EQ(api(QStringLiteral("alice"), QStringLiteral("secret")).login(), 1);
    fake.setLoginReply(FakeOpenSubtitles::LoginReply::RefusedEmptyToken);
    OSApi refused = api(QStringLiteral("alice"), QStringLiteral("secret"));
    EXPECT_EQ(refused.login(), 1);
    EXPECT_EQ(api().login(), 1) << "a refused login caches nothing";
    fake.setLoginReply(FakeOpenSubtitles::LoginReply::OkWithoutToken);
    EXPECT_EQ(api().login(), 2);
    fake.setLoginReply(FakeOpenSubtitles::LoginReply::NoStatus);
    EXPECT_EQ(api().login(), 2);
    fake.setLoginReply(FakeOpenSubtitles::LoginReply::Ok);
    fake.setFailure(QStringLiteral("LogIn"), Failure::Fault);
    EXPECT_EQ(api().login(), 2);
    fake.setFailure(QStringLiteral("LogIn"), Failure::Html);
    EXPECT_EQ(api().login(), 2);
}

TEST_F(OSApiTest, AnAccountGoesOutExactlyAsTypedOrNotAtAll)
{
    const QString user = QStringLiteral("  al ice ");
    const QString password = QString(QChar(0xFEFF)) + QStringLiteral("se\r\ncret\t ");
    fake.addAccount(user, password);
    EXPECT_EQ(api(user, password).login(), 0);
    OSApi::forgetSession();
    EXPECT_EQ(api(QStringLiteral("   "), QStringLiteral("   ")).login(), 1);

    OSApi control = api(user, QStringLiteral("pa\x07ss"));
    EXPECT_EQ(control.login(), LoginAccountNotSent);
    EXPECT_EQ(control.accountProblem(),
              "The password of the OpenSubtitles account holds a control character, which the "
              "service cannot receive as typed; it was not sent.");
    OSApi surrogate = api(QStringLiteral("al") + QChar(0xDC00), QString());
    EXPECT_EQ(surrogate.login(), LoginAccountNotSent);
    EXPECT_TRUE(surrogate.accountProblem().startsWith("The user name"))
        << qPrintable(surrogate.accountProblem());
    EXPECT_FALSE(surrogate.downloadSubtitles({QStringLiteral("7")}).has_value());
    EXPECT_EQ(fake.methods(), (QStringList{QStringLiteral("LogIn"), QStringLiteral("LogIn")}));
}

TEST_F(OSApiTest, QueriesGoOutAsTheServiceRecordedThem)
{
    OSApi client = api();
    ASSERT_EQ(client.login(), 0);
    VideoFileSearchDictionary file = video(QStringLiteral("/v/Man.of.Steel.mkv"));
    file.fileHash = QStringLiteral("5b8f8f4e41ccb21e");
    file.fileSize = 7033732714;
    file.imdbB = QStringLiteral("770828");
    file.name = QStringLiteral("Man of Steel");
    client.searchSubtitlesByHash({file}, {QStringLiteral("eng")});
    client.searchSubtitlesByIMDB({file}, {QStringLiteral("ger")});
    client.searchSubtitlesByName({file}, {QStringLiteral("fre")});

    // What follows the session token, line ends left out.
    const auto queries = [](QByteArray body) {
        body.replace('\n', "");
        return body.mid(body.indexOf("</param>"));
    };
    const QList<Fakes::FakeRequest> sent = fake.server().requests();
    ASSERT_EQ(sent.size(), 4);
    const char *recordings[] = {"test_query_hash_size_1", "test_query_imdb_id_1",
                                "test_query_query_movie_1"};
    for (int i = 0; i < 3; ++i) {
        const QByteArray recorded = TestSupport::fileContents(TestSupport::fixturePath(
            QStringLiteral("opensubtitles-xmlrpc/%1_SearchSubtitles.request.xml")
                .arg(QLatin1String(recordings[i]))));
        ASSERT_FALSE(recorded.isEmpty());
        EXPECT_EQ(queries(sent[i + 1].body), queries(recorded)) << recordings[i];
    }
}

TEST_F(OSApiTest, UnreachableAndStalledServicesFailTheLogin)
{
    UserDefaults::standard().setValue(QStringLiteral("RequestTimeout"), 1);
    fake.setFailure(QStringLiteral("LogIn"), Failure::Stall);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(api().login(), 2);
    EXPECT_LT(clock.elapsed(), 10000);

    const QUrl endpoint = fake.endpoint();
    fake.server().stop();
    EXPECT_EQ(OSApi(QString(), QString(), endpoint).login(), 2);
}

TEST_F(OSApiTest, SearchesByHashAndMapsEveryField)
{
    fake.addByHash(QStringLiteral("a0601fdf9f620d40"), alpha());
    FakeOpenSubtitles::Subtitle french = alpha();
    french.id = QStringLiteral("2");
    french.language = QStringLiteral("fre");
    french.movieYear.reset();
    fake.addByHash(QStringLiteral("a0601fdf9f620d40"), french);
    OSApi client = api();
    ASSERT_EQ(client.login(), 0);

    VideoFileSearchDictionary hashed = video(QStringLiteral("/v/Alpha.mkv"));
    hashed.fileHash = QStringLiteral("a0601fdf9f620d40");
    hashed.fileSize = 7033732714;
    VideoFileSearchDictionary unsized = video(QStringLiteral("/v/b.mkv"));
    unsized.fileHash = QStringLiteral("0000000000010000");
    const RemoteSubtitles found = client.searchSubtitlesByHash(
        {hashed, unsized}, {QStringLiteral("eng"), QStringLiteral("fre")});

    ASSERT_TRUE(found.has_value());
    ASSERT_EQ(found->size(), 2);
    const TNRemoteSubtitle &s = found->first();
    EXPECT_EQ(s.service, OpenSubtitlesServiceKey);
    EXPECT_EQ(s.subtitleID, QStringLiteral("1951976245"));
    EXPECT_EQ(s.name, QStringLiteral("Alpha"));
    EXPECT_EQ(s.lang, QStringLiteral("eng"));
    EXPECT_EQ(s.subHash, QStringLiteral("a0601fdf9f620d40"));
    EXPECT_EQ(s.subFormat, QStringLiteral("srt"));
    EXPECT_EQ(s.subFileName, QStringLiteral("Alpha.2010.DVDRip.srt"));
    EXPECT_EQ(s.imdbID, QStringLiteral("7654321"));
    EXPECT_EQ(s.year, 2010);
    EXPECT_EQ(s.releaseInfo, QStringLiteral("Alpha.2010.DVDRip"));
    EXPECT_EQ(s.downloadURL,
              QStringLiteral("http://127.0.0.1:%1/dl/1951976245.zip").arg(fake.server().port()));
    EXPECT_TRUE(s.videoFileOID.isNull());
    EXPECT_FALSE(s.season.has_value());
    EXPECT_FALSE(found->at(1).year.has_value());

    const auto search = fake.calls().last();
    EXPECT_EQ(search.method, QStringLiteral("SearchSubtitles"));
    const QVariantList queries = search.params.value(1).toList().value(1).toList();
    ASSERT_EQ(queries.size(), 1);
    const QVariantMap query = queries.first().toMap();
    // As the real client sends it: text, beyond the range of a 32-bit integer.
    EXPECT_EQ(query.value(QStringLiteral("moviebytesize")).toList(),
              (QVariantList{QStringLiteral("string"), QStringLiteral("7033732714")}));
    EXPECT_EQ(query.value(QStringLiteral("sublanguageid")).toList().value(1),
              QStringLiteral("eng,fre"));

    EXPECT_FALSE(client.searchSubtitlesByHash({}, {QStringLiteral("eng")}).has_value());
    EXPECT_FALSE(client.searchSubtitlesByHash({hashed}, {}).has_value());
    EXPECT_EQ(fake.calls().size(), 2);
}

TEST_F(OSApiTest, ReadsNothingFoundAndDamagedResultLists)
{
    fake.addByHash(QStringLiteral("a0601fdf9f620d40"), alpha());
    FakeOpenSubtitles::Subtitle second = alpha();
    second.id = QStringLiteral("3");
    fake.addByHash(QStringLiteral("a0601fdf9f620d40"), second);
    OSApi client = api();
    ASSERT_EQ(client.login(), 0);
    VideoFileSearchDictionary file = video(QStringLiteral("/v/a.mkv"));
    file.fileHash = QStringLiteral("a0601fdf9f620d40");
    file.fileSize = 10;
    const QStringList eng{QStringLiteral("eng")};

    EXPECT_FALSE(client.searchSubtitlesByHash({file}, {QStringLiteral("ger")}).has_value())
        << "the service answers false when it finds nothing";
    fake.setFailure(QStringLiteral("SearchSubtitles"), Failure::EmptyArray);
    const RemoteSubtitles empty = client.searchSubtitlesByHash({file}, eng);
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());
    fake.setFailure(QStringLiteral("SearchSubtitles"), Failure::NonStructEntry);
    const RemoteSubtitles partial = client.searchSubtitlesByHash({file}, eng);
    ASSERT_TRUE(partial.has_value());
    EXPECT_EQ(partial->size(), 1);
    fake.setFailure(QStringLiteral("SearchSubtitles"), Failure::DataMissing);
    EXPECT_FALSE(client.searchSubtitlesByHash({file}, eng).has_value());
    fake.setFailure(QStringLiteral("SearchSubtitles"), Failure::Fault);
    EXPECT_FALSE(client.searchSubtitlesByHash({file}, eng).has_value());
    fake.setFailure(QStringLiteral("SearchSubtitles"), Failure::Html);
    EXPECT_FALSE(client.searchSubtitlesByHash({file}, eng).has_value());
}

TEST_F(OSApiTest, BuildsNameQueriesAndEscapesWhatTheyHold)
{
    const QString odd = QStringLiteral("Law & Order #1 + \u00c9t\u00e9 <b>");
    fake.addByQuery(odd + QStringLiteral(" S01E05"), alpha());
    OSApi client = api();
    ASSERT_EQ(client.login(), 0);
    const QStringList eng{QStringLiteral("eng")};

    VideoFileSearchDictionary episode = video(QStringLiteral("/v/e.mkv"));
    episode.name = odd;
    episode.season = 1;
    episode.episode = 5;
    episode.year = 2004;
    const RemoteSubtitles found = client.searchSubtitlesByName({episode}, eng);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->size(), 1);

    VideoFileSearchDictionary film = video(QStringLiteral("/v/f.mkv"));
    film.name = QStringLiteral("Film");
    film.year = 1999;
    film.season = 2;
    VideoFileSearchDictionary show = video(QStringLiteral("/v/s.mkv"));
    show.name = QStringLiteral("Show");
    client.searchSubtitlesByName({film, show}, eng);

    VideoFileSearchDictionary nameless = video(QStringLiteral("/v/n.mkv"));
    EXPECT_FALSE(client.searchSubtitlesByName({show, nameless}, eng).has_value());

    QStringList queries;
    for (const auto &call : fake.calls()) {
        for (const QVariant &query : call.params.value(1).toList().value(1).toList())
            queries.append(
                query.toMap().value(QStringLiteral("query")).toList().value(1).toString());
    }
    EXPECT_EQ(queries, (QStringList{odd + QStringLiteral(" S01E05"), QStringLiteral("Film 1999"),
                                    QStringLiteral("Show")}));
}

TEST_F(OSApiTest, ChecksMovieHashesOfMoviesOnly)
{
    fake.addMovie(QStringLiteral("0000000000010000"), QStringLiteral("1234567"));
    OSApi client = api();
    ASSERT_EQ(client.login(), 0);
    VideoFileSearchDictionary known = video(QStringLiteral("/v/k.mkv"));
    known.fileHash = QStringLiteral("0000000000010000");
    known.fileSize = 65536;
    VideoFileSearchDictionary unknown = video(QStringLiteral("/v/u.mkv"));
    unknown.fileHash = QStringLiteral("00000000deadbeef");
    unknown.fileSize = 70000;
    VideoFileSearchDictionary episode = known;
    episode.fileHash = QStringLiteral("1111111111111111");
    episode.episode = 3;
    const auto imdb = client.imdbSeachArrayFromFiles({known, unknown, episode});
    ASSERT_TRUE(imdb.has_value());
    EXPECT_EQ(*imdb, (QMap<QString, QString>{
                         {QStringLiteral("0000000000010000"), QStringLiteral("1234567")}}));
    const QVariantList sent = fake.calls().last().params.value(1).toList().value(1).toList();
    EXPECT_EQ(sent, (QVariantList{QStringLiteral("0000000000010000"),
                                  QStringLiteral("00000000deadbeef")}));
    EXPECT_FALSE(client.imdbSeachArrayFromFiles({episode}).has_value());

    VideoFileSearchDictionary copy = known;
    copy.imdbB = QStringLiteral("1234567");
    VideoFileSearchDictionary garbled = known;
    garbled.imdbB = QStringLiteral("tt1234567");
    fake.addByImdb(QStringLiteral("1234567"), alpha());
    const RemoteSubtitles found =
        client.searchSubtitlesByIMDB({copy, known, garbled}, {QStringLiteral("eng")});
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->size(), 1);
    EXPECT_EQ(fake.calls().last().params.value(1).toList().value(1).toList().size(), 1);
    EXPECT_EQ(fake.calls().last().queryField(0, QStringLiteral("imdbid")), qlonglong(1234567));
}

TEST_F(OSApiTest, AnExpiredSessionIsRenewedOnce)
{
    fake.addByHash(QStringLiteral("a0601fdf9f620d40"), alpha());
    OSApi client = api();
    ASSERT_EQ(client.login(), 0);
    fake.expireSessions();
    VideoFileSearchDictionary file = video(QStringLiteral("/v/a.mkv"));
    file.fileHash = QStringLiteral("a0601fdf9f620d40");
    file.fileSize = 10;
    const RemoteSubtitles found = client.searchSubtitlesByHash({file}, {QStringLiteral("eng")});
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->size(), 1);
    EXPECT_EQ(fake.methods(),
              (QStringList{QStringLiteral("LogIn"), QStringLiteral("SearchSubtitles"),
                           QStringLiteral("LogIn"), QStringLiteral("SearchSubtitles")}));
    EXPECT_EQ(client.token(), QStringLiteral("tok-0002"));
}

TEST_F(OSApiTest, ADownloadAfterAnExpiredSessionRenewsItAndReadsEitherDataForm)
{
    const QByteArray srt = "1\r\n00:00:01,000 --> 00:00:02,000\r\nHello\r\n";
    fake.addDownload(QStringLiteral("1951976245"), srt);
    ASSERT_EQ(api().login(), 0);
    fake.expireSessions();
    fake.setFailure(QStringLiteral("DownloadSubtitles"), Failure::Base64Data);
    const RemoteSubtitles got = api().downloadSubtitles({QStringLiteral("1951976245")});
    ASSERT_TRUE(got.has_value());
    ASSERT_EQ(got->size(), 1);
    EXPECT_EQ(got->at(0).data, srt);
    EXPECT_EQ(fake.methods().mid(fake.methods().size() - 4),
              (QStringList{QStringLiteral("DownloadSubtitles"), QStringLiteral("LogIn"),
                           QStringLiteral("DownloadSubtitles"), QStringLiteral("LogOut")}));
}

TEST_F(OSApiTest, ADeeplyNestedReplyIsUnusableRatherThanFatal)
{
    fake.setFailure(QStringLiteral("LogIn"), Failure::DeepNesting);
    EXPECT_EQ(api().login(), 2);
}

TEST_F(OSApiTest, DownloadsDecodesAndLogsOut)
{
    const QByteArray srt = "1\r\n00:00:01,000 --> 00:00:02,000\r\nHello\r\n";
    fake.addDownload(QStringLiteral("1951976245"), srt);
    fake.addDownload(QStringLiteral("7"), QByteArray(200000, 'x'));
    OSApi client = api();
    const RemoteSubtitles got = client.downloadSubtitles(
        {QStringLiteral("1951976245"), QStringLiteral("404"), QStringLiteral("7")});
    ASSERT_TRUE(got.has_value());
    ASSERT_EQ(got->size(), 2);
    EXPECT_EQ(got->at(0).subtitleID, QStringLiteral("1951976245"));
    EXPECT_EQ(got->at(0).data, srt);
    EXPECT_EQ(got->at(1).data.size(), 200000);
    EXPECT_EQ(fake.methods(),
              (QStringList{QStringLiteral("LogIn"), QStringLiteral("DownloadSubtitles"),
                           QStringLiteral("LogOut")}));
    EXPECT_TRUE(client.token().isEmpty());

    fake.setFailure(QStringLiteral("DownloadSubtitles"), Failure::LimitReached);
    const RemoteSubtitles limited = api().downloadSubtitles({QStringLiteral("7")});
    ASSERT_TRUE(limited.has_value());
    EXPECT_TRUE(limited->isEmpty());

    fake.setLoginReply(FakeOpenSubtitles::LoginReply::RefusedEmptyToken);
    EXPECT_FALSE(api().downloadSubtitles({QStringLiteral("7")}).has_value());
}

TEST_F(OSApiTest, ADownloadReplyThatCannotBeWalkedRaises)
{
    fake.addDownload(QStringLiteral("7"), "content");
    for (Failure failure : {Failure::DataStruct, Failure::NonStructEntry}) {
        fake.setFailure(QStringLiteral("DownloadSubtitles"), failure);
        OSApi client = api();
        EXPECT_THROW(client.downloadSubtitles({QStringLiteral("7")}), Exception);
        EXPECT_FALSE(client.token().isEmpty()) << "still logged in";
        client.logout();
    }
}

TEST(OSApiDecoding, InflatesGzipAndZlibStreamsOnly)
{
    const QByteArray text = QByteArray(5000, 'a') + "end";
    EXPECT_EQ(OSApi::gunzippedData(compress(text, 31)), text);
    EXPECT_EQ(OSApi::gunzippedData(compress(text, 15)), text);
    EXPECT_TRUE(OSApi::gunzippedData(compress(text, -15)).isNull());
    const QByteArray gz = compress(text, 31);
    EXPECT_TRUE(OSApi::gunzippedData(gz.left(gz.size() - 6)).isNull());
    EXPECT_TRUE(OSApi::gunzippedData(QByteArray()).isNull());
    EXPECT_TRUE(OSApi::gunzippedData("not compressed at all").isNull());
}

TEST(OSApiDecoding, RefusesToInflatePastTheLargestSubtitle)
{
    const QByteArray bomb = compress(QByteArray(OSApi::LargestSubtitle + 1, '\0'), 31);
    EXPECT_LT(bomb.size(), 100000);
    EXPECT_TRUE(OSApi::gunzippedData(bomb).isNull());
    const QByteArray largest = compress(QByteArray(OSApi::LargestSubtitle, '\0'), 31);
    EXPECT_EQ(OSApi::gunzippedData(largest).size(), OSApi::LargestSubtitle);
}

TEST(OSApiDecoding, Base64IgnoresForeignCharacters)
{
    EXPECT_EQ(OSApi::dataWithBase64EncodedString(QStringLiteral("SGVs bG8\n=*!")), "Hello");
    EXPECT_TRUE(OSApi::dataWithBase64EncodedString(QString()).isNull());
    EXPECT_TRUE(OSApi::dataWithBase64EncodedString(QStringLiteral("!!")).isEmpty());
}
