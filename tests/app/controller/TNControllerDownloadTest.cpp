#include "app/controller/TNController.h"
#include "app/list/TNMainWindow.h"
#include "app/sheets/TNAlert.h"
#include "app/sheets/TNLastActionResult.h"
#include "app/sheets/TNProgressController.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/VideoFile.h"
#include "common/TestSupport.h"
#include "fakes/services/FakeDownloadSite.h"
#include "fakes/services/FakeOpenSubtitles.h"
#include "fakes/services/ZipArchiveBuilder.h"
#include "http/HTTPRequest.h"
#include "platform/ApplicationFolders.h"
#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"

#include "../RecordingAlertPresenter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using Fakes::FakeDownloadSite;
using Fakes::FakeHttpServer;
using Fakes::FakeOpenSubtitles;
using Fakes::FakeResponse;
using Fakes::ZipArchiveBuilder;

namespace {

QByteArray srt(const QByteArray &line)
{
    return "1\r\n00:00:01,000 --> 00:00:02,000\r\n" + line + "\r\n";
}

// The controller with no window, the three services' fakes, and videos in a scratch folder.
class TNControllerDownloadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("TROVANEL_EXTRA_CA", QFile::encodeName(FakeHttpServer::certificateAuthorityPath()));
        TNLastActionResult::defaultActionResult() = TNLastActionResult();
        TNAlert::defaultTNAlert().setPresenter(&alerts);
        setSetting(TNUserDefaultsHelper::DownloadDestinationKey, 0);
        setSetting(TNUserDefaultsHelper::RenameSubToVideoNameKey, false);
        setSetting(TNUserDefaultsHelper::AlwaysAppendLanguageKey, false);
        setSetting(TNUserDefaultsHelper::OneStepKey, false);
        setSetting(
            TNUserDefaultsHelper::ServersKey,
            QVariantList{QVariantMap{{ServiceEntry::NameKey, OpenSubtitlesServiceKey},
                                     {ServiceEntry::ServerEnabledKey, true},
                                     {ServiceEntry::URLKey, openSubtitles.endpoint().toString()}}});
        QDir(root.path()).mkpath("v");
        controller.awakeFromNib();
    }

    void TearDown() override
    {
        controller.applicationWillTerminate();
        alerts.dismissAll();
        TNAlert::defaultTNAlert().setPresenter(nullptr);
        EXPECT_TRUE(openSubtitles.violations().isEmpty());
    }

    static void setSetting(const QString &key, const QVariant &value)
    {
        UserDefaults::standard().setValue(key, value);
    }

    QString path(const QString &relative) const { return root.filePath(relative); }

    VideoFile *video(const QString &name)
    {
        return controller.modelController().insertVideoFile(path("v/" + name));
    }

    Subtitle *selected(VideoFile *video, const QString &service, const QString &fileName,
                       const QString &language, const QString &id, const QString &url = {})
    {
        TNModelController &store = controller.modelController();
        Subtitle *subtitle = store.insertSubtitle();
        subtitle->setService(service);
        subtitle->setFileName(fileName);
        subtitle->setLanguage(language);
        subtitle->setSubtitleID(id);
        if (!url.isNull())
            subtitle->setDownloadURL(url);
        subtitle->setStatus(SubtitleStatusSelected);
        store.addSubtitle(subtitle, video);
        return subtitle;
    }

    // Runs the download and waits until its batch has ended.
    void download()
    {
        QSignalSpy ended(&controller.operationQueue(), &OperationQueue::operationsBecameEmpty);
        controller.doDownload();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return ended.count() > 0; }, 20000));
        TestSupport::processEventsFor(50);
    }

    static QByteArray contents(const QString &file) { return TestSupport::fileContents(file); }
    QStringList filesIn(const QString &relative) const
    {
        QStringList files = QDir(path(relative)).entryList(QDir::Files);
        files.sort();
        return files;
    }
    static void write(const QString &file, const QByteArray &data)
    {
        ASSERT_TRUE(TestSupport::writeFile(file, data));
    }

    QTemporaryDir root;
    RecordingAlertPresenter alerts;
    FakeOpenSubtitles openSubtitles;
    FakeDownloadSite podnapisi{FakeHttpServer::Transport::Tls};
    FakeDownloadSite betaSeries;
    TNController controller;
};

TEST_F(TNControllerDownloadTest, EveryReplyEndsInItsStatusAndTheRightFileOnDisk)
{
    openSubtitles.addDownload("101", srt("OpenSubtitles"));
    ZipArchiveBuilder podGood;
    podGood.addFile("info.nfo", "about").addFile("Film.Pod.srt", srt("Podnapisi"));
    podnapisi.serveZip("/subtitles/good/download", podGood.build());
    ZipArchiveBuilder podCorrupt;
    podCorrupt.add({"Film.Bad.srt", srt("bad"), ZipArchiveBuilder::Method::Stored, true, true});
    podnapisi.serveZip("/subtitles/corrupt/download", podCorrupt.build());
    ZipArchiveBuilder podEscape;
    podEscape.addFile("../../../Escape.srt", srt("escape"));
    podnapisi.serveZip("/subtitles/escape/download", podEscape.build());
    podnapisi.serveFile("/subtitles/late/download", "PK junk <!DOCTYPE html>");
    podnapisi.servePage("/subtitles/limit/download",
                        "<!DOCTYPE html><html><body>Daily download limit reached</body></html>");
    ZipArchiveBuilder bsZip;
    bsZip.addFile("Show.HDTV.en.srt", srt("hdtv")).addFile("Show.720p.en.srt", srt("720p"));
    betaSeries.serveZip("/dl/Show.zip", bsZip.build());
    betaSeries.serveFile("/dl/Show.fr.srt", srt("plain french"));
    ZipArchiveBuilder bsBzip2;
    bsBzip2.add({"Show.bz.srt", "BZh91AY&SY", ZipArchiveBuilder::Method::Bzip2});
    betaSeries.serveZip("/dl/bz.zip", bsBzip2.build());
    betaSeries.serve("/dl/broken.srt", {500, "text/plain", "Internal Server Error"});
    FakeDownloadSite closed;
    const QString refused = closed.url("/dl/refused.srt").toString();
    closed.server().stop();

    const QString pod = podnapisi.url("/subtitles/").toString();
    const QString bs = betaSeries.url("/dl/").toString();
    struct Case
    {
        QString service;
        QString fileName;
        QString id;
        QString url;
        SubtitleStatus expected;
    };
    const QList<Case> cases{
        {OpenSubtitlesServiceKey, "Film.DVDRip.srt", "101", {}, SubtitleStatusDownloaded},
        {OpenSubtitlesServiceKey, "Film.Other.srt", "102", {}, SubtitleStatusDownloadFailed},
        {PodnapisiServiceKey, "x", "p1", pod + "good/download", SubtitleStatusDownloaded},
        {PodnapisiServiceKey, "x", "p2", pod + "corrupt/download", SubtitleStatusWriteFailed},
        {PodnapisiServiceKey, "x", "p3", pod + "escape/download", SubtitleStatusDownloaded},
        {PodnapisiServiceKey, "x", "p4", pod + "late/download", SubtitleStatusWriteFailed},
        {PodnapisiServiceKey, "x", "p5", pod + "limit/download", SubtitleStatusDailyLimit},
        {PodnapisiServiceKey, "x", "p6", pod + "gone/download", SubtitleStatusDownloadFailed},
        {BetaSeriesServiceKey, "Show.720p.en.srt", "b1", bs + "Show.zip", SubtitleStatusDownloaded},
        {BetaSeriesServiceKey, "Show.fr.srt", "b2", bs + "Show.fr.srt", SubtitleStatusDownloaded},
        {BetaSeriesServiceKey, "broken.srt", "b3", bs + "broken.srt", SubtitleStatusDownloadFailed},
        {BetaSeriesServiceKey, "refused.srt", "b4", refused, SubtitleStatusDownloadFailed},
        {BetaSeriesServiceKey, "Show.bz.srt", "b5", bs + "bz.zip", SubtitleStatusWriteFailed},
    };
    VideoFile *film = video("Film.mkv");
    QList<Subtitle *> subtitles;
    for (const Case &entry : cases)
        subtitles.append(selected(film, entry.service, entry.fileName, "en", entry.id, entry.url));
    TNLastActionResult::defaultActionResult().setDownloadLimitReached(true, BetaSeriesServiceKey);
    // The page goes to the user's own folder, never through a link planted there.
    const QString cache = ApplicationFolders::caches();
    const QString limitPage = QDir(cache).filePath("limit.html");
    ASSERT_TRUE(QFile::setPermissions(cache, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                 QFileDevice::ExeOther));
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath("victim");
    ASSERT_TRUE(TestSupport::writeFile(victim, "victim"));
    ASSERT_TRUE(QFile::link(victim, limitPage));

    download();

    EXPECT_EQ(contents(victim), "victim");
    EXPECT_FALSE(QFileInfo(limitPage).isSymLink());
    EXPECT_EQ(QFileInfo(limitPage).permissions() & 0x7777,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser);
    EXPECT_EQ(QFileInfo(cache).permissions() & 0x0077, 0);
    for (qsizetype n = 0; n < cases.size(); ++n)
        EXPECT_EQ(subtitles[n]->status(), cases[n].expected) << qPrintable(cases[n].id);
    EXPECT_EQ(filesIn("v"), (QStringList{"Escape.srt", "Film.DVDRip.srt", "Film.Pod.srt",
                                         "Show.720p.en.srt", "Show.fr.srt"}));
    EXPECT_EQ(contents(path("v/Film.DVDRip.srt")), srt("OpenSubtitles"));
    EXPECT_EQ(contents(path("v/Film.Pod.srt")), srt("Podnapisi"));
    EXPECT_EQ(contents(path("v/Escape.srt")), srt("escape"));
    EXPECT_EQ(contents(path("v/Show.720p.en.srt")), srt("720p"));
    EXPECT_EQ(contents(path("v/Show.fr.srt")), srt("plain french"));
    EXPECT_TRUE(filesIn("").isEmpty());

    const TNLastActionResult &record = TNLastActionResult::defaultActionResult();
    EXPECT_EQ(record.lastAction(), TNLastActionResult::DownloadAction);
    EXPECT_TRUE(record.downloadLimitReachedForService(PodnapisiServiceKey));
    EXPECT_FALSE(record.downloadLimitReachedForService(BetaSeriesServiceKey));
    EXPECT_EQ(contents(limitPage),
              "<!DOCTYPE html><html><body>Daily download limit reached</body></html>");

    // A page saying the subtitle is gone is a failed download, not a limit.
    podnapisi.servePage("/subtitles/limit/download",
                        "<!DOCTYPE html><html>Subtitle NOT FOUND IN DATABASE</html>");
    Subtitle *gone = subtitles[6];
    gone->setStatus(SubtitleStatusSelected);
    download();
    EXPECT_EQ(gone->status(), SubtitleStatusDownloadFailed);
    EXPECT_FALSE(record.downloadLimitReachedForService(PodnapisiServiceKey));
    EXPECT_EQ(contents(limitPage), "<!DOCTYPE html><html>Subtitle NOT FOUND IN DATABASE</html>");
}

TEST_F(TNControllerDownloadTest, NamesFollowTheNamingSettingsAndNeverReplaceAFile)
{
    openSubtitles.addDownload("1", srt("os en"));
    openSubtitles.addDownload("2", srt("os other"));
    openSubtitles.addDownload("3", srt("os es"));
    ZipArchiveBuilder german;
    german.addFile("Whatever.Name.txt", srt("pod de"));
    podnapisi.serveZip("/de", german.build());
    ZipArchiveBuilder french;
    french.addFile("Film.fr.srt", srt("bs fr"));
    betaSeries.serveZip("/fr", french.build());
    write(path("v/Film.srt"), "the user's own");

    VideoFile *film = video("Film.2010.mkv");
    VideoFile *other = video("Other.avi");
    write(path("v/Film.2010.srt"), "the user's own");
    setSetting(TNUserDefaultsHelper::RenameSubToVideoNameKey, true);
    setSetting(TNUserDefaultsHelper::ReplaceTxtFileExtensionKey, "srt");
    Subtitle *en = selected(film, OpenSubtitlesServiceKey, "Film.DVDRip.srt", "en", "1");
    Subtitle *plain = selected(other, OpenSubtitlesServiceKey, "Other.DVDRip.sub", "en", "2");
    Subtitle *de =
        selected(film, PodnapisiServiceKey, "x", "de", "p", podnapisi.url("/de").toString());
    Subtitle *fr = selected(film, BetaSeriesServiceKey, "Film.fr.srt", "fr", "b",
                            betaSeries.url("/fr").toString());
    download();
    for (const Subtitle *subtitle : {en, plain, de, fr})
        EXPECT_EQ(subtitle->status(), SubtitleStatusDownloaded);
    EXPECT_EQ(filesIn("v"), (QStringList{"Film.2010.de.srt", "Film.2010.en.srt", "Film.2010.fr.srt",
                                         "Film.2010.srt", "Film.srt", "Other.sub"}));
    EXPECT_EQ(contents(path("v/Film.2010.srt")), "the user's own");
    EXPECT_EQ(contents(path("v/Film.2010.en.srt")), srt("os en"));
    EXPECT_EQ(contents(path("v/Film.2010.de.srt")), srt("pod de"));
    EXPECT_EQ(contents(path("v/Film.2010.fr.srt")), srt("bs fr"));
    EXPECT_EQ(contents(path("v/Other.sub")), srt("os other"));

    // Into the download folder, always with the language, numbered on collision.
    QDir(root.path()).mkpath("downloads");
    write(path("downloads/Film.2010.es.srt"), "kept");
    setSetting(TNUserDefaultsHelper::DownloadDestinationKey,
               TNUserDefaultsHelper::DownloadToFolder);
    setSetting(TNUserDefaultsHelper::DownloadFolderKey, path("downloads"));
    setSetting(TNUserDefaultsHelper::AlwaysAppendLanguageKey, true);
    Subtitle *es = selected(film, OpenSubtitlesServiceKey, "Film.srt", "es", "3");
    download();
    EXPECT_EQ(es->status(), SubtitleStatusDownloaded);
    EXPECT_EQ(filesIn("downloads"), (QStringList{"Film.2010.es.srt", "Film.2010.es1.srt"}));
    EXPECT_EQ(contents(path("downloads/Film.2010.es.srt")), "kept");
    EXPECT_EQ(contents(path("downloads/Film.2010.es1.srt")), srt("os es"));
}

TEST_F(TNControllerDownloadTest, OneBatchTakesFiftyOpenSubtitlesAndTheRestWait)
{
    VideoFile *film = video("Film.mkv");
    QList<Subtitle *> subtitles;
    for (int n = 1; n <= 60; ++n) {
        const QString id = QString::number(n);
        openSubtitles.addDownload(id, srt(id.toUtf8()));
        subtitles.append(selected(film, OpenSubtitlesServiceKey, "Film." + id + ".srt", "en", id));
    }
    download();
    for (int n = 0; n < 60; ++n)
        EXPECT_EQ(subtitles[n]->status(),
                  n < 50 ? SubtitleStatusDownloaded : SubtitleStatusSelected)
            << n;
    EXPECT_EQ(filesIn("v").size(), 50);
    EXPECT_EQ(contents(path("v/Film.50.srt")), srt("50"));
    EXPECT_EQ(controller.modelController().countSubtitlesToDownload(), 10u);
}

TEST_F(TNControllerDownloadTest, TheBarAdvancesOnceForEverySubtitle)
{
    TNMainWindow window;
    controller.setWindow(&window);
    VideoFile *film = video("Film.mkv");
    for (int n = 1; n <= 20; ++n) {
        const QString id = QString::number(n);
        if (n != 7)
            openSubtitles.addDownload(id, srt(id.toUtf8()));
        selected(film, OpenSubtitlesServiceKey, "Film." + id + ".srt", "en", id);
    }
    ZipArchiveBuilder archive;
    archive.addFile("Film.srt", srt("pod"));
    podnapisi.serveZip("/a", archive.build());
    selected(film, PodnapisiServiceKey, "a", "de", "a", podnapisi.url("/a").toString());
    selected(film, PodnapisiServiceKey, "b", "de", "b", podnapisi.url("/b").toString());
    download();
    auto *bar = controller.progressSheet()->findChild<QProgressBar *>();
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->maximum(), 22);
    EXPECT_EQ(bar->value(), 22);
    EXPECT_EQ(controller.progressSheet()->detailedText(),
              "20 subtitles downloaded OK. 2 subtitles with error");
    EXPECT_FALSE(controller.progressSheet()->isVisible());
}

TEST_F(TNControllerDownloadTest, MissingFolderAlertsAndNothingSelectedDoesNothing)
{
    controller.doDownload();
    EXPECT_EQ(controller.operationQueue().operationCount(), 0);
    EXPECT_EQ(TNLastActionResult::defaultActionResult().lastAction(), TNLastActionResult::NoAction);

    Subtitle *subtitle =
        selected(video("Film.mkv"), OpenSubtitlesServiceKey, "Film.srt", "en", "1");
    setSetting(TNUserDefaultsHelper::DownloadDestinationKey,
               TNUserDefaultsHelper::DownloadToFolder);
    setSetting(TNUserDefaultsHelper::DownloadFolderKey, path("missing"));
    controller.doDownload();
    EXPECT_EQ(alerts.messages(), QStringList{"The configured download folder does not exist"});
    EXPECT_EQ(alerts.shown.first().request.information,
              "Verify the download folder in Trovanel Preferences");
    EXPECT_EQ(controller.operationQueue().operationCount(), 0);
    EXPECT_EQ(subtitle->status(), SubtitleStatusSelected);
    EXPECT_EQ(TNLastActionResult::defaultActionResult().lastAction(), TNLastActionResult::NoAction);
    EXPECT_TRUE(openSubtitles.calls().isEmpty());
}

TEST_F(TNControllerDownloadTest, ResultsForSubtitlesNoLongerListedChangeNothing)
{
    Subtitle *subtitle = selected(video("Film.mkv"), PodnapisiServiceKey, "Film.srt", "en", "1",
                                  podnapisi.url("/sub").toString());
    ZipArchiveBuilder archive;
    archive.addFile("Film.srt", srt("late"));
    podnapisi.serveZip("/sub", archive.build());
    auto request = HTTPRequest::requestWithURL(podnapisi.url("/sub"));
    request->setUserInfo(
        {{QStringLiteral("TNVFObjectIDKey"), QVariant::fromValue(subtitle->objectID())}});
    request->startSynchronous();
    controller.modelController().removeAll();
    controller.subtitleDownloadFinished(request.get());
    controller.subtitleDownloadFailed(request.get());
    controller.subtitleDownloadFinished(nullptr);
    controller.subtitleDownloadFailed(nullptr);
    TNRemoteSubtitle gone;
    gone.subtitleOID = request->userInfo().value("TNVFObjectIDKey").value<ObjectId>();
    gone.data = srt("late");
    controller.subtitleDownloadEnded(gone, nullptr);
    EXPECT_TRUE(filesIn("v").isEmpty());
}

} // namespace
