#include "app/sheets/TNAlert.h"
#include "app/sheets/MessageBoxAlertPresenter.h"

#include "../RecordingAlertPresenter.h"
#include "common/TestSupport.h"

#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class AlertTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UserDefaults::standard().setValue(QStringLiteral("AlertLoginErrors"), true);
        UserDefaults::standard().setValue(QStringLiteral("AlertIgnoredVideoFiles"), true);
        alert.setPresenter(&presenter);
    }
    void TearDown() override
    {
        presenter.dismissAll();
        alert.setPresenter(nullptr);
    }

    static bool loginAlertsOn() { return TNUserDefaultsHelper::showAlertForLoginError(); }
    static bool ignoredAlertsOn() { return TNUserDefaultsHelper::showAlertForIgnoredVideoFiles(); }

    TNAlert &alert = TNAlert::defaultTNAlert();
    RecordingAlertPresenter presenter;
};

TEST_F(AlertTest, AlertsWaitTheirTurnAndKeepTheirOwnTexts)
{
    alert.setLastAction(TNAlert::IgnoredVideoFilesAlert);
    alert.showModalForWindow(nullptr, QStringLiteral("first"), QStringLiteral("one"), false);
    alert.showModalForWindow(nullptr, QStringLiteral("second"), QStringLiteral("two"), true);
    ASSERT_EQ(presenter.shown.size(), 1);
    EXPECT_EQ(alert.pendingCount(), 2);
    presenter.dismiss();
    ASSERT_EQ(presenter.shown.size(), 2);
    EXPECT_EQ(presenter.shown.at(0).request.information, QStringLiteral("one"));
    EXPECT_EQ(presenter.shown.at(1).request.message, QStringLiteral("second"));
    EXPECT_TRUE(presenter.shown.at(1).request.showSuppression);
    presenter.dismiss();
    EXPECT_EQ(alert.pendingCount(), 0);
}

TEST_F(AlertTest, TheBoxTurnsOffOnlyTheSettingOfItsOwnAlert)
{
    alert.loginError(nullptr, QStringLiteral("login"), QString(), true);
    EXPECT_EQ(alert.lastAction(), TNAlert::LoginErrorAlert);
    alert.setLastAction(TNAlert::IgnoredVideoFilesAlert);
    alert.showModalForWindow(nullptr, QStringLiteral("ignored"), QString(), true);

    presenter.dismiss(true);
    EXPECT_FALSE(loginAlertsOn());
    EXPECT_TRUE(ignoredAlertsOn()) << "the kind changed after the login alert was asked for";
    presenter.dismiss(false);
    EXPECT_TRUE(ignoredAlertsOn());
}

TEST_F(AlertTest, AnAlertWithoutTheBoxChangesNoSetting)
{
    alert.setLastAction(TNAlert::IgnoredVideoFilesAlert);
    alert.showModalForWindow(nullptr, QStringLiteral("no box"), QString(), false);
    presenter.dismiss(true);
    EXPECT_TRUE(ignoredAlertsOn());
    EXPECT_TRUE(loginAlertsOn());
}

TEST_F(AlertTest, AlertsAskedForWithoutAPresenterAreShownLater)
{
    alert.setPresenter(nullptr);
    alert.showModalForWindow(nullptr, QStringLiteral("early"), QString(), false);
    alert.setPresenter(&presenter);
    EXPECT_EQ(presenter.messages(), QStringList{QStringLiteral("early")});
}

TEST(MessageBoxAlertTest, ShowsAWindowModalBoxWithAnUntickedBoxEachTime)
{
    QMainWindow window;
    window.show();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Trovanel"));
    MessageBoxAlertPresenter presenter;
    QList<bool> results;
    const auto showOne = [&](bool withBox) {
        presenter.present({&window, QStringLiteral("Message"), QStringLiteral("Details"), withBox,
                           TNAlert::LoginErrorAlert},
                          [&](bool ticked) { results.append(ticked); });
        auto *box = window.findChild<QMessageBox *>(QStringLiteral("TNAlertBox"));
        EXPECT_NE(box, nullptr);
        return box;
    };

    QMessageBox *box = showOne(true);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Trovanel")) << "the window manager adds no more";
    QGuiApplication::setApplicationDisplayName(QString());
    EXPECT_EQ(box->text(), QStringLiteral("Message"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("Details"));
    ASSERT_NE(box->checkBox(), nullptr);
    EXPECT_EQ(box->checkBox()->text(), QStringLiteral("Do not show this message again"));
    EXPECT_FALSE(box->checkBox()->isChecked());
    box->checkBox()->setChecked(true);
    box->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !window.findChild<QMessageBox *>(); }));

    box = showOne(false);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->checkBox(), nullptr);
    box->button(QMessageBox::Ok)->click();
    EXPECT_EQ(results, (QList<bool>{true, false}));
}

} // namespace
