#include "ControllerFixture.h"

#include "catalogue/ServiceKeys.h"
#include "catalogue/Subtitle.h"
#include "catalogue/SubtitlesLanguages.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/VideoFile.h"

namespace {

const QString ConnectionMessage =
    QStringLiteral("Trovanel could not connect to the following Subtitles Services:");
const QString LoginMessage = QStringLiteral("Invalid user name or password for:");
const QString FolderMessage = QStringLiteral("The configured download folder does not exist");
const QString Bullet = QString(QChar(0x2022)) + QLatin1Char(' ');

class BatchEndTest : public ControllerFixture
{
protected:
    // A video still to be searched with one selected candidate of the given service.
    Subtitle *addSelectedSubtitle(const QString &service)
    {
        TNModelController &catalogue = controller.modelController();
        VideoFile *video = catalogue.insertVideoFile(QStringLiteral("/v/Film.2001.avi"));
        video->setModified(true);
        Subtitle *subtitle = catalogue.insertSubtitle();
        subtitle->setService(service);
        subtitle->setLanguage(QStringLiteral("en"));
        subtitle->setStatus(SubtitleStatusSelected);
        subtitle->setParent(video);
        return subtitle;
    }

    void endSearch()
    {
        record().setLastAction(TNLastActionResult::SearchAction);
        controller.operationsEnded();
    }
};

TEST_F(BatchEndTest, UnreachableServicesAreReportedBeforeRefusedLogins)
{
    setSetting("oneStep", true);
    setSetting("DownloadDestination", 1);
    setSetting("DownloadFolder", root.filePath(QStringLiteral("gone")));
    addSelectedSubtitle(OpenSubtitlesServiceKey);
    record().setLogin(TNLastActionResult::NoConnection, PodnapisiServiceKey);
    record().setLogin(TNLastActionResult::LoginRefused, OpenSubtitlesServiceKey);
    endSearch();

    ASSERT_EQ(alerts.messages(), QStringList{ConnectionMessage}) << "and no download started";
    EXPECT_EQ(alerts.shown.at(0).request.information,
              Bullet + PodnapisiServiceKey +
                  QStringLiteral("\n\nThe server is not responding. This usually happens when the "
                                 "server is offline or there is a problem with the internet "
                                 "connection. You should retry later."));
    EXPECT_FALSE(alerts.shown.at(0).request.showSuppression);
}

TEST_F(BatchEndTest, RefusedLoginsAreReportedWithTheirBoxAndStopTheChain)
{
    setSetting("oneStep", true);
    setSetting("DownloadDestination", 1);
    setSetting("DownloadFolder", root.filePath(QStringLiteral("gone")));
    setServices(true, true, true);
    addSelectedSubtitle(OpenSubtitlesServiceKey);
    record().setLogin(TNLastActionResult::LoginRefused, BetaSeriesServiceKey);
    record().setLogin(TNLastActionResult::LoginRefused, OpenSubtitlesServiceKey);
    record().setLogin(TNLastActionResult::LoggedIn, PodnapisiServiceKey);
    endSearch();

    ASSERT_EQ(alerts.messages(), QStringList{LoginMessage});
    const AlertRequest &login = alerts.shown.at(0).request;
    EXPECT_EQ(login.information,
              Bullet + OpenSubtitlesServiceKey + QLatin1Char('\n') + Bullet + BetaSeriesServiceKey +
                  QStringLiteral("\n\nVerify the user name or password in Trovanel "
                                 "Configuration. Remember that some subtitles services may "
                                 "require to have a valid account in their site in order to "
                                 "download subtitles. Trovanel will not be able to download "
                                 "subtitles with login error"));
    EXPECT_TRUE(login.showSuppression);
    EXPECT_EQ(login.kind, TNAlert::LoginErrorAlert);

    alerts.dismiss(true);
    EXPECT_FALSE(TNUserDefaultsHelper::showAlertForLoginError());
    EXPECT_TRUE(TNUserDefaultsHelper::showAlertForIgnoredVideoFiles());
}

TEST_F(BatchEndTest, ASuppressedLoginAlertLetsTheDownloadStart)
{
    setSetting("oneStep", true);
    setSetting("AlertLoginErrors", false);
    setSetting("DownloadDestination", 1);
    setSetting("DownloadFolder", root.filePath(QStringLiteral("gone")));
    addSelectedSubtitle(OpenSubtitlesServiceKey);
    record().setLogin(TNLastActionResult::LoginRefused, OpenSubtitlesServiceKey);
    endSearch();
    // The chained download stops at its first check, which proves it ran.
    EXPECT_EQ(alerts.messages(), QStringList{FolderMessage});
    EXPECT_EQ(alerts.shown.at(0).request.information,
              QStringLiteral("Verify the download folder in Trovanel Preferences"));
}

TEST_F(BatchEndTest, WithoutOneStepNothingIsChained)
{
    setSetting("DownloadDestination", 1);
    setSetting("DownloadFolder", root.filePath(QStringLiteral("gone")));
    addSelectedSubtitle(OpenSubtitlesServiceKey);
    endSearch();
    EXPECT_TRUE(alerts.shown.isEmpty());
    EXPECT_EQ(record().lastAction(), TNLastActionResult::SearchAction);
}

TEST_F(BatchEndTest, SubtitlesOfAServiceThatLoggedInLaterAreSelectable)
{
    Subtitle *subtitle = addSelectedSubtitle(PodnapisiServiceKey);
    subtitle->setStatus(SubtitleStatusLoginError);
    record().setLogin(TNLastActionResult::LoggedIn, PodnapisiServiceKey);
    endSearch();
    EXPECT_EQ(subtitle->status(), SubtitleStatusSelected);
}

TEST_F(BatchEndTest, DailyLimitsAreListedPerService)
{
    setServices(true, true, true);
    record().setLastAction(TNLastActionResult::DownloadAction);
    record().setDownloadLimitReached(true, PodnapisiServiceKey);
    controller.operationsEnded();
    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown.at(0).request.message,
              QStringLiteral("You have reached the daily download limit for: \n") +
                  PodnapisiServiceKey);
    EXPECT_EQ(alerts.shown.at(0).request.information,
              QStringLiteral("Some subtitles services may have a daily subtitle download limit. "
                             "When that limit is reached, file downloads are temporarily "
                             "disabled for that service. Please, wait some time before trying "
                             "to download again from this service."));
    EXPECT_FALSE(alerts.shown.at(0).request.showSuppression);

    record().setDownloadLimitReached(true, OpenSubtitlesServiceKey);
    record().setDownloadLimitReached(true, BetaSeriesServiceKey);
    setServices(true, true, false);
    controller.operationsEnded();
    alerts.dismissAll();
    ASSERT_EQ(alerts.shown.size(), 2);
    EXPECT_EQ(alerts.shown.at(1).request.message,
              QStringLiteral("You have reached the daily download limit for: \n") +
                  PodnapisiServiceKey + QLatin1Char('\n') + OpenSubtitlesServiceKey);
}

TEST_F(BatchEndTest, OneStepImportGoesOnToTheSearchAndKeepsEveryAlert)
{
    setSetting("oneStep", true);
    setServices(false, false, false);
    touch(QStringLiteral("Heat.1995.DVDRip.XviD.avi"));
    touch(QStringLiteral("Heat.1995.DVDRip.XviD.srt"));
    touch(QStringLiteral("Ronin.1998.720p.BluRay.mkv"));
    controller.applicationOpenFiles({root.path()});
    ASSERT_TRUE(waitForBatchEnd());

    ASSERT_EQ(alerts.messages(), QStringList{QStringLiteral("All subtitles services are disabled")})
        << "the second alert waits for the first";
    EXPECT_EQ(alerts.shown.at(0).request.information,
              QStringLiteral("Enable at least one Subtitle service in Trovanel Preferences"));
    alerts.dismiss();
    EXPECT_EQ(alerts.messages(),
              QStringList({QStringLiteral("All subtitles services are disabled"),
                           QStringLiteral("Trovanel ignored 1 video files with local subtitles")}));
}

TEST_F(BatchEndTest, ASearchNeedsALanguage)
{
    for (const QString &slot : TNUserDefaultsHelper::LanguageKeys)
        UserDefaults::standard().setValue(slot, QString());
    setSetting("oneStep", true);
    SubtitlesLanguages::sharedInstance().setPreferredLanguages([] { return QStringList(); });
    touch(QStringLiteral("Ronin.1998.720p.BluRay.mkv"));
    controller.applicationOpenFiles({root.path()});
    ASSERT_TRUE(waitForBatchEnd());
    ASSERT_EQ(alerts.messages(),
              QStringList{QStringLiteral("You haven't configured any search language")});
    EXPECT_EQ(alerts.shown.at(0).request.information,
              QStringLiteral("Choose at least one Subtitle search language in Trovanel "
                             "Preferences"));
}

} // namespace
