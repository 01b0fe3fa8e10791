#include "app/PreferencesWindowController.h"
#include "app/TNAboutWindowController.h"
#include "app/TNRemoteNotificationWindowController.h"

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
