#include "ControllerFixture.h"

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
        TNKeychain *keychain = TNKeychain::defaultKeychain();
        ASSERT_NE(keychain, nullptr);
        keychain->addGenericPassword(
            QStringLiteral("secret"),
            TNKeychain::keychainNameForService(OpenSubtitlesServiceKey, QStringLiteral("alice")),
            QStringLiteral("alice"), true);
        keychain->addGenericPassword(
            QStringLiteral("wrong"),
            TNKeychain::keychainNameForService(BetaSeriesServiceKey, QStringLiteral("bob")),
            QStringLiteral("bob"), true);
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

} // namespace

TEST_F(SearchTest, APasswordTheServiceCannotReceiveIsNamedNotSentAltered)
{
    TNKeychain::defaultKeychain()->addGenericPassword(
        QStringLiteral("sec\aret"),
        TNKeychain::keychainNameForService(OpenSubtitlesServiceKey, QStringLiteral("alice")),
        QStringLiteral("alice"), true);
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
