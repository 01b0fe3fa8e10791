#include "app/about/TNAboutWindowController.h"
#include "app/notices/TNRemoteNotificationWindowController.h"
#include "app/preferences/PreferencesWindowController.h"

#include "ControllerFixture.h"
#include "fakes/app/FakeNoticeSite.h"
#include "platform/Operation.h"

#include <QAction>
#include <QApplication>

namespace {

class IdleOperation : public Operation
{
protected:
    void main() override {}
};

template <typename Window> Window *visibleWindow()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<Window *>(window); found && found->isVisible())
            return found;
    }
    return nullptr;
}

using ControllerWindowsTest = ControllerFixture;

TEST_F(ControllerWindowsTest, ThePreferencesCommandOpensOneWindowOnTheTabAskedFor)
{
    window.action(TNController::PreferencesIdentifier)->trigger();
    PreferencesWindowController *preferences = visibleWindow<PreferencesWindowController>();
    ASSERT_NE(preferences, nullptr);
    EXPECT_EQ(preferences, &controller.prefsController());
    EXPECT_EQ(preferences->controller(), &controller);
    EXPECT_EQ(preferences->selectedTab(), PreferencesWindowController::GeneralTab);

    controller.showPrefsInTab(PreferencesWindowController::ServersTab);
    EXPECT_EQ(preferences->selectedTab(), PreferencesWindowController::ServersTab);
    controller.showPreferencesPanel();
    EXPECT_EQ(preferences->selectedTab(), PreferencesWindowController::ServersTab);
}

TEST_F(ControllerWindowsTest, PreferencesStayClosedWhileABatchRuns)
{
    controller.operationQueue().setSuspended(true);
    controller.operationQueue().addOperation(std::make_shared<IdleOperation>());
    controller.showPrefsInTab(PreferencesWindowController::LanguagesTab);
    EXPECT_EQ(visibleWindow<PreferencesWindowController>(), nullptr);
    controller.operationQueue().setSuspended(false);
}

TEST_F(ControllerWindowsTest, ADamagedSettingsFileIsKeptAsideAndTheUserIsTold)
{
    UserDefaults &settings = UserDefaults::standard();
    const QByteArray sound = TestSupport::fileContents(settings.filePath());
    ASSERT_TRUE(TestSupport::writeFile(settings.filePath(), "{\"lang0\": \"en\""));
    settings.reload();
    controller.applicationDidFinishLaunching({});
    const qsizetype shown = alerts.shown.size();
    controller.applicationDidFinishLaunching({});
    ASSERT_NE(sound, QByteArray("<missing>")) << "the fixture writes the settings";
    ASSERT_TRUE(TestSupport::writeFile(settings.filePath(), sound));
    settings.reload();

    EXPECT_EQ(alerts.shown.size(), 1) << "told once";
    ASSERT_EQ(shown, 1);
    EXPECT_EQ(alerts.shown.at(0).request.message,
              QStringLiteral("Your settings could not be read and were reset"));
    const QString prefix = QStringLiteral("The damaged settings file was kept as ");
    const QString information = alerts.shown.at(0).request.information;
    ASSERT_TRUE(information.startsWith(prefix)) << qPrintable(information);
    const QString keptAs = information.mid(prefix.size());
    EXPECT_EQ(TestSupport::fileContents(keptAs), QByteArray("{\"lang0\": \"en\""));
    QFile::remove(keptAs);
}

TEST_F(ControllerWindowsTest, TheAboutCommandShowsTheSharedWindow)
{
    window.action(QStringLiteral("actionAbout"))->trigger();
    EXPECT_EQ(visibleWindow<TNAboutWindowController>(),
              &TNAboutWindowController::aboutController());
}

TEST_F(ControllerWindowsTest, ANoticeFoundAtStartUpGetsItsWindow)
{
    FakeNoticeSite site;
    const QDate today = QDate::currentDate();
    site.publish({QJsonObject{
        {QStringLiteral("identifier"), QStringLiteral("welcome")},
        {QStringLiteral("html"), QStringLiteral("welcome.html")},
        {QStringLiteral("enabled"), true},
        {QStringLiteral("startdate"), today.toString(Qt::ISODate) + QStringLiteral("T")},
        {QStringLiteral("enddate"),
         today.addDays(1).toString(Qt::ISODate) + QStringLiteral("T")}}});
    site.setPage(QStringLiteral("welcome.html"), "<p>Welcome</p>");
    controller.checkRemoteNotifications(site.endpoint());
    ASSERT_TRUE(TestSupport::waitUntil(
        [] { return visibleWindow<TNRemoteNotificationWindowController>() != nullptr; }));
    EXPECT_EQ(
        visibleWindow<TNRemoteNotificationWindowController>()->remoteNotification()->identifier(),
        QStringLiteral("welcome"));
}

} // namespace
