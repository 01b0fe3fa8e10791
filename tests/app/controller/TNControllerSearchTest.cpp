#include "ControllerFixture.h"

#include "app/controller/SearchResultQueue.h"

#include "catalogue/ServiceKeys.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"
#include "fakes/services/FakeBetaSeries.h"
#include "fakes/services/FakeOpenSubtitles.h"
#include "fakes/services/FakePodnapisi.h"
#include "services/OSHashAlgorithm.h"
#include "services/TNKeychain.h"

#include <QRandomGenerator>

namespace {

using Fakes::FakeOpenSubtitles;
using Fakes::FakePodnapisi;

class SearchTest : public ControllerFixture
{
protected:
    void SetUp() override
    {
        qputenv("TROVANEL_KEYCHAIN", "memory");
        qputenv("TROVANEL_EXTRA_CA",
                Fakes::FakeHttpServer::certificateAuthorityPath().toLocal8Bit());
        ControllerFixture::SetUp();
        setSetting("lang1", QStringLiteral("fr"));
        const auto entry = [](const QString &key, const QString &user, const QUrl &url) {
            return QVariantMap{{QStringLiteral("Name"), key},
                               {QStringLiteral("UserName"), user},
                               {QStringLiteral("ServerEnabled"), true},
                               {QStringLiteral("URL"), url.toString()}};
        };
        setSetting("servers", QVariantList{entry(PodnapisiServiceKey, QString(), podnapisi.site()),
                                           entry(OpenSubtitlesServiceKey, QStringLiteral("alice"),
                                                 opensubtitles.endpoint()),
                                           entry(BetaSeriesServiceKey, QStringLiteral("bob"),
                                                 betaseries.host())});
        ASSERT_NE(TNKeychain::defaultKeychain(), nullptr);
        storePassword(OpenSubtitlesServiceKey, QStringLiteral("alice"), QStringLiteral("secret"));
        storePassword(BetaSeriesServiceKey, QStringLiteral("bob"), QStringLiteral("wrong"));
        opensubtitles.addAccount(QStringLiteral("alice"), QStringLiteral("secret"));
        betaseries.addAccount(QStringLiteral("bob"), QStringLiteral("right"));
    }

    void TearDown() override
    {
        ControllerFixture::TearDown();
        for (const QStringList &violations :
             {opensubtitles.violations(), podnapisi.violations(), betaseries.violations()})
            EXPECT_TRUE(violations.isEmpty()) << qPrintable(violations.join(u'\n'));
    }

    static void storePassword(const QString &service, const QString &account,
                              const QString &password)
    {
        TNKeychain::defaultKeychain()->addGenericPassword(
            password, TNKeychain::keychainNameForService(service, account), account, true);
    }

    // A video of the given size with random content; returns its movie hash text.
    QString video(const QString &relative, qsizetype size)
    {
        const QString path = touch(relative);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        QByteArray bytes(size, Qt::Uninitialized);
        for (char &byte : bytes)
            byte = char(QRandomGenerator::global()->bounded(256));
        file.write(bytes);
        file.close();
        const OSHashResult hash = OSHashAlgorithm::hashForPath(path);
        return hash.hash ? OSHashAlgorithm::stringForHash(hash.hash) : QString();
    }

    void importAndSearch()
    {
        controller.applicationOpenFiles({root.path()});
        ASSERT_TRUE(waitForBatchEnd());
        controller.doSubtitleSearch();
        ASSERT_TRUE(waitForBatchEnd(30000));
    }

    VideoFile *videoAt(const QString &relative)
    {
        return controller.modelController().videoFileWithID(
            controller.modelController().insertVideoFile(root.filePath(relative))->objectID());
    }

    static QStringList describe(const VideoFile *video)
    {
        QStringList lines;
        for (const Subtitle *s : video->subtitles()) {
            lines.append(QStringLiteral("%1 %2 %3 %4 S%5E%6 Y%7 status %8")
                             .arg(s->service().value_or(QStringLiteral("-")),
                                  s->subtitleID().value_or(QStringLiteral("-")),
                                  s->language().isNull() ? QStringLiteral("-") : s->language(),
                                  s->fileName().value_or(QStringLiteral("-")))
                             .arg(s->season().value_or(-1))
                             .arg(s->episode().value_or(-1))
                             .arg(s->year().value_or(-1))
                             .arg(s->status().value_or(-1)));
        }
        lines.sort();
        return lines;
    }

    FakeOpenSubtitles opensubtitles;
    FakePodnapisi podnapisi;
    Fakes::FakeBetaSeries betaseries;
};

TEST_F(SearchTest, CandidatesOfEveryServiceAreCataloguedRatedAndSelected)
{
    const QString hash = video(QStringLiteral("movies/Alpha.2010.720p.BluRay.mkv"), 70000);
    video(QStringLiteral("tv/Show.S01E02.HDTV.mkv"), 10);
    const auto os = [&](const QString &id, const QString &file, const QString &language) {
        return FakeOpenSubtitles::Subtitle{id,
                                           file,
                                           language,
                                           hash,
                                           QStringLiteral("Alpha"),
                                           QStringLiteral("2010"),
                                           QStringLiteral("Alpha.2010.720p.BluRay"),
                                           QStringLiteral("7654321")};
    };
    opensubtitles.addByHash(hash,
                            os(QStringLiteral("101"), QStringLiteral("Alpha.2010.720p.BluRay.srt"),
                               QStringLiteral("eng")));
    opensubtitles.addByHash(
        hash, os(QStringLiteral("102"), QStringLiteral("Alpha.DVDRip.srt"), QStringLiteral("eng")));
    opensubtitles.addByHash(hash,
                            os(QStringLiteral("103"), QStringLiteral("Alpha.2010.720p.BluRay.srt"),
                               QStringLiteral("fre")));
    FakeOpenSubtitles::Subtitle episode =
        os(QStringLiteral("201"), QStringLiteral("Show.S01E02.HDTV.srt"), QStringLiteral("eng"));
    episode.movieHash = QStringLiteral("");
    episode.movieYear.reset();
    opensubtitles.addByQuery(QStringLiteral("Show S01E02"), episode);
    podnapisi.addRecords(QStringLiteral("Alpha"), QStringLiteral("2"),
                         {{QStringLiteral("301"),
                           QStringLiteral("p301"),
                           QStringLiteral("Alpha.2010.HDTV"),
                           {},
                           QStringLiteral("/a")}});
    podnapisi.addRecords(QStringLiteral("Show"), QStringLiteral("2"),
                         {{QStringLiteral("302"),
                           QString(),
                           QStringLiteral("Show.S01E02.720p"),
                           {},
                           QStringLiteral("/s")}});

    importAndSearch();

    const VideoFile *alpha = videoAt(QStringLiteral("movies/Alpha.2010.720p.BluRay.mkv"));
    const VideoFile *show = videoAt(QStringLiteral("tv/Show.S01E02.HDTV.mkv"));
    EXPECT_EQ(
        describe(alpha),
        (QStringList{
            OpenSubtitlesServiceKey + " 101 en Alpha.2010.720p.BluRay.srt S-1E-1 Y2010 status 4",
            OpenSubtitlesServiceKey + " 102 en Alpha.DVDRip.srt S-1E-1 Y2010 status -1",
            OpenSubtitlesServiceKey + " 103 fr Alpha.2010.720p.BluRay.srt S-1E-1 Y2010 status 4",
            PodnapisiServiceKey + " 301 en Alpha.2010.HDTV S-1E-1 Y2010 status -1"}));
    EXPECT_EQ(
        describe(show),
        (QStringList{OpenSubtitlesServiceKey + " 201 en Show.S01E02.HDTV.srt S1E2 Y-1 status 4",
                     PodnapisiServiceKey + " 302 en Show.S01E02.720p S1E2 Y-1 status -1"}));
    qint32 best = 0;
    for (const Subtitle *s : alpha->subtitles()) {
        EXPECT_GT(s->rating(), 0) << qPrintable(s->subtitleID().value_or(QString()));
        if (s->language() == QLatin1String("en"))
            best = qMax(best, s->rating());
    }
    for (const Subtitle *s : alpha->subtitles()) {
        if (s->status() == SubtitleStatusSelected && s->language() == QLatin1String("en")) {
            EXPECT_EQ(s->rating(), best);
        }
        if (s->service() == PodnapisiServiceKey) {
            EXPECT_EQ(s->downloadURL(),
                      podnapisi.site().toString() + QStringLiteral("/subtitles/p301/download"));
        }
    }
    EXPECT_FALSE(alpha->modified().value_or(false));
    EXPECT_FALSE(show->modified().value_or(false));

    EXPECT_EQ(record().lastLoginForService(OpenSubtitlesServiceKey), TNLastActionResult::LoggedIn);
    EXPECT_EQ(record().lastLoginForService(PodnapisiServiceKey), TNLastActionResult::LoggedIn);
    EXPECT_EQ(record().lastLoginForService(BetaSeriesServiceKey), TNLastActionResult::LoginRefused);
    EXPECT_EQ(betaseries.queries().size(), 1) << "a refused account searches nothing";
    EXPECT_EQ(opensubtitles.calls().at(1).queryField(0, QStringLiteral("sublanguageid")),
              QStringLiteral("eng,fre"));
    EXPECT_EQ(podnapisi.queries().size(), 4) << "two videos in two languages";
}

TEST_F(SearchTest, CandidatesOfAServiceWithoutALoginKeepTheirLoginErrorMark)
{
    video(QStringLiteral("tv/Show.S01E02.HDTV.mkv"), 10);
    opensubtitles.server().stop();
    importAndSearch();
    EXPECT_EQ(record().lastLoginForService(OpenSubtitlesServiceKey),
              TNLastActionResult::NoConnection);
    VideoFile *show = videoAt(QStringLiteral("tv/Show.S01E02.HDTV.mkv"));
    EXPECT_TRUE(show->subtitles().isEmpty());

    TNRemoteSubtitle remote;
    remote.videoFileOID = show->objectID();
    remote.service = OpenSubtitlesServiceKey;
    remote.lang = QStringLiteral("eng");
    remote.subtitleID = QStringLiteral("9");
    remote.subFileName = QStringLiteral("Show.S01E02.srt");
    TNRemoteSubtitle nameless = remote;
    nameless.subFileName = QStringLiteral("");
    TNRemoteSubtitle orphan = remote;
    orphan.videoFileOID = ObjectId();
    controller.didReceiveSubtitles(QList<TNRemoteSubtitle>{remote, nameless, orphan});
    controller.didReceiveSubtitles(std::nullopt);
    ASSERT_EQ(show->subtitles().size(), 1);
    const Subtitle *marked = show->subtitles().first();
    EXPECT_EQ(marked->status(), SubtitleStatusLoginError);
    EXPECT_EQ(marked->language(), QStringLiteral("en"));
    EXPECT_EQ(marked->season(), 1) << "taken from the subtitle's own file name";
    EXPECT_EQ(marked->episode(), 2);
}

TEST_F(SearchTest, AVideoWhoseNameHoldsNoTitleIsSearchedByItsFileName)
{
    video(QStringLiteral("tv/S01E02.HDTV.mkv"), 10);
    importAndSearch();
    ASSERT_EQ(videoAt(QStringLiteral("tv/S01E02.HDTV.mkv"))->name(), QStringLiteral(""));
    const QStringList queries = podnapisi.queries();
    ASSERT_FALSE(queries.isEmpty());
    for (const QString &query : queries)
        EXPECT_TRUE(query.startsWith(QStringLiteral("sK=S01E02"))) << qPrintable(query);
}

TEST_F(SearchTest, AReplyTooLargeForOneTurnIsCataloguedWholeBeforeTheBatchEnds)
{
    storePassword(BetaSeriesServiceKey, QStringLiteral("bob"), QStringLiteral("right"));
    video(QStringLiteral("tv/Show.S01E02.HDTV.mkv"), 10);
    const int count = 2 * int(SearchResultQueue::SliceSize) + 1;
    QByteArray items;
    for (int i = 0; i < count; ++i)
        items += "<item>Show.S01E02." + QByteArray::number(i) + ".srt</item>";
    betaseries.setSearchReply(
        QStringLiteral("Show.S01E02.HDTV.mkv"),
        Fakes::FakeBetaSeries::subtitlesXml(
            "<subtitle><season>1</season><episode>2</episode><language>VO</language>"
            "<file>Show.S01E02.zip</file><content>" +
            items + "</content><url>http://127.0.0.1/dl/Show.S01E02.zip</url></subtitle>"));

    importAndSearch();

    // The status line is counted as the batch ends: every candidate is in, one selected.
    EXPECT_EQ(controller.totalSubs(), count);
    EXPECT_EQ(controller.totalSubsToDownload(), 1);
    EXPECT_EQ(videoAt(QStringLiteral("tv/Show.S01E02.HDTV.mkv"))->subtitles().size(), count);
}

// Replies handed to the controller as the searches hand them, for one video.
class SelectionTest : public ControllerFixture
{
protected:
    // A new video in its own folder; only OpenSubtitles has logged in.
    void newVideo(const QString &folder)
    {
        video = controller.modelController().insertVideoFile(
            folder + QStringLiteral("/Show.S01E02.720p.mkv"));
        video->setName(QStringLiteral("Show"));
        video->setFileHash(QStringLiteral("00ab12cd34ef5678"));
        record().setLogin(TNLastActionResult::LoggedIn, OpenSubtitlesServiceKey);
        record().setLogin(TNLastActionResult::NotRecorded, PodnapisiServiceKey);
    }

    // Hashes differ from the video's unless the test says otherwise.
    TNRemoteSubtitle remote(const QString &id, const QString &file, const QString &language,
                            const QString &service = OpenSubtitlesServiceKey) const
    {
        TNRemoteSubtitle subtitle;
        subtitle.videoFileOID = video->objectID();
        subtitle.subtitleID = id;
        subtitle.subFileName = file;
        subtitle.lang = language;
        subtitle.service = service;
        if (service == OpenSubtitlesServiceKey)
            subtitle.subHash = QStringLiteral("ffffffffffffffff");
        return subtitle;
    }

    bool catalogued()
    {
        return TestSupport::waitUntil([this] { return controller.operationsCount(); });
    }

    QStringList statuses() const
    {
        QStringList found;
        for (const Subtitle *subtitle : video->subtitles())
            found.append(*subtitle->subtitleID() + u'=' +
                         QString::number(subtitle->status().value_or(-1)));
        return found;
    }

    VideoFile *video = nullptr;
};

TEST_F(SelectionTest, AReplySelectsAsIfEachCandidateHadBeenSelectedOnArrival)
{
    // Records skipped for want of a file name cut a reply into several turns.
    for (const qsizetype padding : {qsizetype(0), SearchResultQueue::SliceSize}) {
        SCOPED_TRACE(padding);
        newVideo(QStringLiteral("/library/%1").arg(padding));
        controller.didReceiveSubtitles(QList<TNRemoteSubtitle>{
            remote(QStringLiteral("old-en"), QStringLiteral("Other.srt"), QStringLiteral("eng")),
            remote(QStringLiteral("old-none"), QStringLiteral("Show.S01E02.720p.srt"),
                   QStringLiteral("xxx")),
            remote(QStringLiteral("old-fr"), QStringLiteral("Show.srt"), QStringLiteral("fre"))});
        ASSERT_TRUE(catalogued());
        ASSERT_EQ(statuses(),
                  (QStringList{QStringLiteral("old-en=4"), QStringLiteral("old-none=-1"),
                               QStringLiteral("old-fr=4")}));
        // The user ticks the one without a language, and the French one is downloaded.
        controller.checkedButtonForItem(video->subtitles().at(1));
        video->subtitles().at(2)->setStatus(SubtitleStatusDownloaded);

        TNRemoteSubtitle best =
            remote(QStringLiteral("en-best"), QStringLiteral("Show.S01E02.720p.srt"),
                   QStringLiteral("eng"));
        TNRemoteSubtitle tie = best;
        tie.subtitleID = QStringLiteral("en-tie");
        TNRemoteSubtitle skipped =
            remote(QStringLiteral("skipped"), QString(), QStringLiteral("eng"));
        QList<TNRemoteSubtitle> reply{best, tie};
        reply.append(QList<TNRemoteSubtitle>(padding, skipped));
        reply.append(remote(QStringLiteral("pod-en"), QStringLiteral("Show.S01E02.720p.srt"),
                            QStringLiteral("2"), PodnapisiServiceKey));
        reply.append(
            remote(QStringLiteral("fr"), QStringLiteral("Show.S01E02.srt"), QStringLiteral("fre")));
        reply.append(QList<TNRemoteSubtitle>(padding, skipped));
        reply.append(remote(QStringLiteral("none"), QStringLiteral("Show.S01E02.720p.srt"),
                            QStringLiteral("zzz")));
        reply.append(
            remote(QStringLiteral("de"), QStringLiteral("Show.1x02.srt"), QStringLiteral("ger")));
        controller.didReceiveSubtitles(reply);
        EXPECT_EQ(controller.operationsCount(), padding == 0);
        // A login reported after the reply leaves its candidates marked as they arrived.
        controller.didLogin(PodnapisiServiceKey);
        // A reply that comes later goes in after it, however small.
        controller.didReceiveSubtitles(QList<TNRemoteSubtitle>{
            remote(QStringLiteral("late-de"), QStringLiteral("Show.S01E02.720p.srt"),
                   QStringLiteral("ger"))});
        ASSERT_TRUE(catalogued());
        EXPECT_EQ(statuses(),
                  (QStringList{QStringLiteral("old-en=-1"), QStringLiteral("old-none=4"),
                               QStringLiteral("old-fr=2"), QStringLiteral("en-best=4"),
                               QStringLiteral("en-tie=-1"), QStringLiteral("pod-en=1"),
                               QStringLiteral("fr=4"), QStringLiteral("none=-1"),
                               QStringLiteral("de=-1"), QStringLiteral("late-de=4")}));
        EXPECT_EQ(video->subtitles().at(8)->season(), 1) << "read from its file name";
        EXPECT_EQ(video->subtitles().at(8)->episode(), 2);

        // At the end of the search the mark goes, and the candidate wins on the hash it lacks.
        record().setLastAction(TNLastActionResult::SearchAction);
        controller.operationsEnded();
        EXPECT_EQ(statuses().mid(3, 3),
                  (QStringList{QStringLiteral("en-best=-1"), QStringLiteral("en-tie=-1"),
                               QStringLiteral("pod-en=4")}));
    }
}

} // namespace

TEST_F(SearchTest, APasswordTheServiceCannotReceiveIsNamedNotSentAltered)
{
    storePassword(OpenSubtitlesServiceKey, QStringLiteral("alice"), QStringLiteral("sec\aret"));
    video(QStringLiteral("Film.2001.avi"), 10);
    importAndSearch();

    EXPECT_TRUE(opensubtitles.methods().isEmpty());
    EXPECT_EQ(record().lastLoginForService(OpenSubtitlesServiceKey),
              TNLastActionResult::AccountNotSent);
    ASSERT_EQ(alerts.messages(),
              QStringList{QStringLiteral(
                  "Trovanel did not send your account to the following Subtitles Services:")});
    EXPECT_EQ(alerts.shown.at(0).request.information,
              QString(QChar(0x2022)) + QLatin1Char(' ') + OpenSubtitlesServiceKey +
                  QStringLiteral("\n\nThe password of the OpenSubtitles account holds a control "
                                 "character, which the service cannot receive as typed; it was "
                                 "not sent.\n\nChange the user name or password in Trovanel "
                                 "Preferences."));
}
