#include "app/preferences/PreferencesWindowController.h"
#include "app/preferences/ImageViewDragDrop.h"

#include "catalogue/ServiceKeys.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "common/TestSupport.h"
#include "platform/MemoryKeychain.h"
#include "platform/UserDefaults.h"
#include "services/TNKeychain.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

// A store that can be opened but keeps nothing.
class RefusingKeychain final : public KeychainBackend
{
public:
    bool open() override { return true; }
    Status find(const QString &, const QString &, QByteArray *) override
    {
        return Status::NotFound;
    }
    Status add(const QString &, const QString &, const QByteArray &) override
    {
        return Status::Failed;
    }
    Status modify(const QString &, const QString &, const QByteArray &) override
    {
        return Status::Failed;
    }
    Status remove(const QString &, const QString &) override { return Status::NotFound; }
    QString problem() const override { return QStringLiteral("The collection is locked"); }
};

class PreferencesTest : public ::testing::Test
{
protected:
    PreferencesTest()
    {
        TNUserDefaultsHelper::initDefaults();
        setLanguages({QStringLiteral("en"), QStringLiteral("fr"), QString(), QString()});
        window = std::make_unique<PreferencesWindowController>([this] { return &keychain; });
        window->show();
    }

    static UserDefaults &defaults() { return UserDefaults::standard(); }

    static void setLanguages(const QStringList &codes)
    {
        for (int i = 0; i < 4; ++i) {
            const QString &key = TNUserDefaultsHelper::LanguageKeys.at(i);
            if (codes.at(i).isNull())
                defaults().setValue(key, QStringLiteral(""));
            else
                defaults().setValue(key, codes.at(i));
        }
    }

    template <typename T> T *child(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    ImageViewDragDrop *slot(int i) const
    {
        return child<ImageViewDragDrop>(QStringLiteral("lang%1").arg(i).toLatin1().constData());
    }
    QWidget *shownView() const
    {
        for (const char *name : {"generalView", "langsView", "serversView"}) {
            if (child<QWidget>(name)->isVisible())
                return child<QWidget>(name);
        }
        return nullptr;
    }
    void storePassword(const QString &service, const QString &user, const QString &password)
    {
        keychain.addGenericPassword(password, TNKeychain::keychainNameForService(service, user),
                                    user, true);
    }
    QString storedPassword(const QString &service, const QString &user) const
    {
        return keychain.passwordForSubtitlesService(service, user);
    }
    void setUserName(int row, const QString &user)
    {
        QVariantList servers = defaults().listValue(TNUserDefaultsHelper::ServersKey);
        QVariantMap entry = servers.at(row).toMap();
        entry.insert(QStringLiteral("UserName"), user);
        servers[row] = entry;
        defaults().setValue(TNUserDefaultsHelper::ServersKey, servers);
    }
    void typePassword(const QString &text)
    {
        QLineEdit *field = child<QLineEdit>("passTextField");
        field->setText(text);
        field->setModified(true);
        Q_EMIT field->editingFinished();
    }

    TNKeychain keychain{std::make_unique<MemoryKeychain>()};
    std::unique_ptr<PreferencesWindowController> window;
};

TEST_F(PreferencesTest, OpensOnTheGeneralTabAndSwitchesWithTheToolbar)
{
    EXPECT_EQ(PreferencesWindowController::toolbarAllowedItemIdentifiers(),
              (QStringList{QStringLiteral("ToolBar_General"), QStringLiteral("ToolBar_Languages"),
                           QStringLiteral("ToolBar_Servers")}));
    EXPECT_EQ(shownView(), child<QWidget>("generalView"));
    EXPECT_EQ(window->selectedTab(), QStringLiteral("ToolBar_General"));

    child<QAction>("ToolBar_Servers")->trigger();
    EXPECT_EQ(shownView(), child<QWidget>("serversView"));
    EXPECT_EQ(window->selectedTab(), QStringLiteral("ToolBar_Servers"));

    window->showTab(QString());
    EXPECT_EQ(shownView(), child<QWidget>("serversView"));
    window->showTab(QStringLiteral("ToolBar_Unknown"));
    EXPECT_EQ(shownView(), child<QWidget>("generalView"));
    EXPECT_EQ(window->selectedTab(), QStringLiteral("ToolBar_General"));
}

TEST_F(PreferencesTest, TheWindowTakesTheSizeOfTheTabAndKeepsItsTopLeftCorner)
{
    window->move(40, 60);
    const QPoint corner = window->geometry().topLeft();
    for (const QString &tab :
         {QStringLiteral("ToolBar_Languages"), QStringLiteral("ToolBar_Servers"),
          QStringLiteral("ToolBar_General")}) {
        window->showTab(tab);
        const QSize view = shownView()->sizeHint();
        EXPECT_EQ(window->geometry().topLeft(), corner);
        EXPECT_EQ(window->width(), view.width());
        EXPECT_EQ(window->height(),
                  view.height() + child<QToolBar>("toolBar")->sizeHint().height());
    }
}

TEST_F(PreferencesTest, ALanguageSitsInOneSlotAtMostAndMustBeSupported)
{
    EXPECT_TRUE(window->isDraggedAllowed(QStringLiteral("de"), slot(2)));
    EXPECT_TRUE(window->isDraggedAllowed(QStringLiteral("pt-BR"), slot(0)));
    // Taken by another slot, or by the slot itself.
    EXPECT_FALSE(window->isDraggedAllowed(QStringLiteral("fr"), slot(2)));
    EXPECT_FALSE(window->isDraggedAllowed(QStringLiteral("en"), slot(0)));
    EXPECT_FALSE(window->isDraggedAllowed(QString(), slot(2)));
    EXPECT_FALSE(window->isDraggedAllowed(QStringLiteral(""), slot(2)));
    EXPECT_FALSE(window->isDraggedAllowed(QStringLiteral("any text"), slot(2)));

    // The values end at the first key that has none.
    defaults().removeValue(QStringLiteral("lang1"));
    defaults().setValue(QStringLiteral("lang2"), QStringLiteral("de"));
    EXPECT_TRUE(window->isDraggedAllowed(QStringLiteral("de"), slot(3)));
}

TEST_F(PreferencesTest, DroppingALanguageFillsOrReplacesTheSlotAndItsSetting)
{
    EXPECT_FALSE(slot(0)->pixmap().isNull());
    EXPECT_TRUE(slot(2)->pixmap().isNull());
    EXPECT_TRUE(window->droppedLanguage(QStringLiteral("de"), slot(2)));
    EXPECT_EQ(defaults().stringValue(QStringLiteral("lang2")), QStringLiteral("de"));
    EXPECT_FALSE(slot(2)->pixmap().isNull());
    EXPECT_EQ(slot(2)->toolTip(), QStringLiteral("Deutsch"));

    const QImage english = slot(0)->pixmap().toImage();
    EXPECT_TRUE(window->droppedLanguage(QStringLiteral("es"), slot(0)));
    EXPECT_EQ(defaults().stringValue(QStringLiteral("lang0")), QStringLiteral("es"));
    EXPECT_NE(slot(0)->pixmap().toImage(), english);

    ImageViewDragDrop stranger;
    EXPECT_FALSE(window->droppedLanguage(QStringLiteral("it"), &stranger));
    EXPECT_FALSE(window->draggedOutOfFrame(&stranger));
}

TEST_F(PreferencesTest, ARowDraggedFromTheLanguageTableDropsOnASlot)
{
    auto *table = child<QListView>("langsTable");
    const QModelIndexList german =
        table->model()->match(table->model()->index(0, 0), Qt::ToolTipRole, QStringLiteral("de"));
    ASSERT_EQ(german.size(), 1);
    EXPECT_EQ(german.first().data().toString(), QStringLiteral("Deutsch"));
    const std::unique_ptr<QMimeData> data(table->model()->mimeData(german));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->text(), QStringLiteral("de"));

    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(slot(3), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slot(3), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(defaults().stringValue(QStringLiteral("lang3")), QStringLiteral("de"));
    EXPECT_EQ(table->model()->rowCount(), 33);
}

TEST_F(PreferencesTest, TheLastPreferredLanguageCannotBeDraggedOut)
{
    EXPECT_TRUE(window->draggedOutOfFrame(slot(0)));
    EXPECT_EQ(defaults().value(QStringLiteral("lang0")), QVariant(QStringLiteral("")));
    EXPECT_TRUE(slot(0)->pixmap().isNull());
    EXPECT_TRUE(slot(0)->toolTip().isEmpty());

    EXPECT_FALSE(window->draggedOutOfFrame(slot(1)));
    EXPECT_EQ(defaults().stringValue(QStringLiteral("lang1")), QStringLiteral("fr"));
    EXPECT_FALSE(slot(1)->pixmap().isNull());
}

TEST_F(PreferencesTest, TabAndTheControlKeysReachEveryPage)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const auto button = [&](const char *tab) {
        return child<QToolBar>("toolBar")->widgetForAction(child<QAction>(tab));
    };
    const auto focus = [] { return QApplication::focusWidget(); };
    const auto press = [&](QKeyCombination key) {
        QTest::keyClick(focus(), key.key(), key.keyboardModifiers());
    };

    child<QWidget>("alertIgnoredBox")->setFocus(Qt::TabFocusReason);
    for (const char *tab : {"ToolBar_General", "ToolBar_Languages", "ToolBar_Servers"}) {
        press(Qt::Key_Tab);
        EXPECT_EQ(focus(), button(tab)) << "the last control leads to the page buttons";
    }
    press(Qt::Key_Tab);
    EXPECT_EQ(focus(), child<QWidget>("importAtStartupBox"));

    // The next page, with the focus on its first control.
    press(Qt::CTRL | Qt::Key_Tab);
    EXPECT_EQ(shownView(), child<QWidget>("langsView"));
    EXPECT_EQ(focus(), child<QWidget>("langsTable"));
    press(Qt::CTRL | Qt::Key_PageDown);
    EXPECT_EQ(focus(), child<QWidget>("serversTable"));
    press(Qt::Key_Tab);
    EXPECT_EQ(focus(), child<QWidget>("passTextField")) << "Tab leaves the table";
    press(Qt::CTRL | Qt::Key_PageDown);
    EXPECT_EQ(window->selectedTab(), PreferencesWindowController::GeneralTab);
    press(Qt::CTRL | Qt::Key_PageUp);
    EXPECT_EQ(window->selectedTab(), PreferencesWindowController::ServersTab);

    // From a page button, the focus stays on it.
    button("ToolBar_Languages")->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    EXPECT_EQ(window->selectedTab(), PreferencesWindowController::LanguagesTab);
    press(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab);
    EXPECT_EQ(window->selectedTab(), PreferencesWindowController::GeneralTab);
    EXPECT_EQ(focus(), button("ToolBar_Languages"));
}

TEST_F(PreferencesTest, TheKeyboardSetsAndClearsTheSlotsUnderTheDropRules)
{
    window->showTab(PreferencesWindowController::LanguagesTab);
    auto *table = child<QListView>("langsTable");
    auto *message = child<QLabel>("slotsMessage");
    const auto enterOn = [&](const char *code) {
        table->setCurrentIndex(
            table->model()
                ->match(table->model()->index(0, 0), Qt::ToolTipRole, QString::fromLatin1(code))
                .value(0));
        QTest::keyClick(table, Qt::Key_Return);
    };
    const auto languages = [] {
        QStringList codes;
        for (const QString &key : TNUserDefaultsHelper::LanguageKeys)
            codes.append(defaults().stringValue(key));
        return codes;
    };

    for (const char *code : {"de", "fr", "it", "es"})
        enterOn(code);
    EXPECT_EQ(languages(), QStringList({"en", "fr", "de", "it"}));
    EXPECT_TRUE(message->text().startsWith(QStringLiteral("The four slots hold a language")));
    enterOn("fr");
    EXPECT_EQ(message->text(), QStringLiteral("Français is already a preferred language."));

    for (int i : {1, 0, 3, 2})
        QTest::keyClick(slot(i), Qt::Key_Delete);
    EXPECT_EQ(languages(), QStringList({"", "", "de", ""})) << "the last language stays";
    EXPECT_TRUE(message->text().startsWith(QStringLiteral("The last preferred language stays")));
    enterOn("sv");
    EXPECT_EQ(languages(), QStringList({"sv", "", "de", ""})) << "the first free slot";

    // A slot's context menu offers the languages it may take, and the removal.
    QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(5, 5),
                              slot(1)->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(slot(1), &request);
    auto *menu = window->findChild<QMenu *>(QStringLiteral("slotMenu"));
    ASSERT_TRUE(menu && menu->isVisible());
    EXPECT_FALSE(menu->actions().at(1)->isEnabled()) << "nothing to remove from an empty slot";
    QHash<QString, QAction *> choices;
    for (QAction *language : menu->actions().at(0)->menu()->actions())
        choices.insert(language->text(), language);
    EXPECT_EQ(choices.size(), 33);
    EXPECT_FALSE(choices.value(QStringLiteral("Deutsch"))->isEnabled());
    choices.value(QStringLiteral("Español"))->trigger();
    window->showSlotMenu(slot(0), QPoint())->actions().at(1)->trigger();
    EXPECT_EQ(languages(), QStringList({"", "es", "de", ""}));
}

TEST_F(PreferencesTest, AScreenReaderHearsANameAndADescriptionForEveryControl)
{
    // A field's name is that of the label tied to it, where there is one.
    const auto spoken = [](QWidget *control) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control);
        const auto labels = iface->relations(QAccessible::Label);
        const QString name = labels.isEmpty() ? iface->text(QAccessible::Name)
                                              : labels.first().first->text(QAccessible::Name);
        return std::pair(name, iface->text(QAccessible::Description));
    };
    int controls = 0;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if ((control->focusPolicy() & Qt::TabFocus) &&
            !control->objectName().startsWith(QLatin1String("qt_"))) {
            const auto [name, description] = spoken(control);
            EXPECT_FALSE(name.isEmpty()) << qPrintable(control->objectName());
            EXPECT_FALSE(description.isEmpty()) << qPrintable(control->objectName());
            ++controls;
        }
    }
    EXPECT_GE(controls, 22);
    EXPECT_EQ(spoken(child<QWidget>("passTextField")).first, QStringLiteral("Password:"));
    EXPECT_EQ(spoken(slot(0)),
              std::pair(QStringLiteral("First preferred language"), QStringLiteral("English")));
    EXPECT_EQ(spoken(slot(3)).second, QStringLiteral("Empty"));
}

TEST_F(PreferencesTest, SelectingAServiceShowsItsAccountPassword)
{
    setUserName(0, QStringLiteral("alice"));
    storePassword(OpenSubtitlesServiceKey, QStringLiteral("alice"), QStringLiteral("s3cret"));
    auto *table = child<QTableView>("serversTable");
    auto *field = child<QLineEdit>("passTextField");
    table->selectRow(1);
    EXPECT_EQ(field->text(), QString());
    table->selectRow(0);
    EXPECT_EQ(field->text(), QStringLiteral("s3cret"));

    // Without a selection the field keeps what it shows, and edits are not stored.
    table->clearSelection();
    EXPECT_EQ(field->text(), QStringLiteral("s3cret"));
    typePassword(QStringLiteral("other"));
    EXPECT_EQ(storedPassword(OpenSubtitlesServiceKey, QStringLiteral("alice")),
              QStringLiteral("s3cret"));
}

TEST_F(PreferencesTest, EditingThePasswordStoresItForTheSelectedAccount)
{
    setUserName(1, QStringLiteral("bob"));
    auto *table = child<QTableView>("serversTable");
    table->selectRow(1);
    // Leaving the field untouched creates no item.
    Q_EMIT child<QLineEdit>("passTextField")->editingFinished();
    EXPECT_TRUE(storedPassword(PodnapisiServiceKey, QStringLiteral("bob")).isNull());

    typePassword(QStringLiteral("pw1"));
    EXPECT_EQ(storedPassword(PodnapisiServiceKey, QStringLiteral("bob")), QStringLiteral("pw1"));
    typePassword(QStringLiteral(""));
    EXPECT_EQ(storedPassword(PodnapisiServiceKey, QStringLiteral("bob")), QStringLiteral(""));
}

TEST_F(PreferencesTest, APasswordNotStoredStaysTypedAndTheWindowSaysWhy)
{
    setUserName(0, QStringLiteral("alice"));
    TNKeychain refusing{std::make_unique<RefusingKeychain>()};
    for (TNKeychain *store : {&refusing, static_cast<TNKeychain *>(nullptr)}) {
        PreferencesWindowController preferences([store] { return store; });
        preferences.show();
        preferences.showTab(PreferencesWindowController::ServersTab);
        auto *field = preferences.findChild<QLineEdit *>(QStringLiteral("passTextField"));
        auto *problem = preferences.findChild<QLabel *>(QStringLiteral("passwordProblem"));
        ASSERT_NE(problem, nullptr);
        EXPECT_FALSE(problem->isVisible());
        QTest::keyClicks(field, QStringLiteral("hunter2"));
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(field->text(), QStringLiteral("hunter2"));
        EXPECT_TRUE(problem->isVisible());
        EXPECT_TRUE(problem->text().startsWith(QStringLiteral("The password was not saved")));
        EXPECT_TRUE(problem->text().contains(store ? QStringLiteral("The collection is locked")
                                                   : QStringLiteral("Secret Service")))
            << qPrintable(problem->text());
    }
}

TEST_F(PreferencesTest, TheServiceTableEditsAndFollowsTheServiceEntries)
{
    auto *table = child<QTableView>("serversTable");
    QAbstractItemModel *model = table->model();
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(model->index(2, 1).data().toString(), BetaSeriesServiceKey);
    EXPECT_EQ(model->index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);

    EXPECT_TRUE(model->setData(model->index(2, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(TNUserDefaultsHelper::IsBetaSeriesEnabled());
    EXPECT_TRUE(model->setData(model->index(0, 2), QStringLiteral("carol"), Qt::EditRole));
    EXPECT_EQ(TNUserDefaultsHelper::userNameForService(OpenSubtitlesServiceKey),
              QStringLiteral("carol"));
    // The rest of the entry is kept.
    EXPECT_EQ(TNUserDefaultsHelper::serviceURL(OpenSubtitlesServiceKey),
              TNUserDefaultsHelper::defaultServiceURL(OpenSubtitlesServiceKey));

    setUserName(1, QStringLiteral("dave"));
    EXPECT_EQ(model->index(1, 2).data().toString(), QStringLiteral("dave"));
    QVariantList servers = defaults().listValue(TNUserDefaultsHelper::ServersKey);
    servers.append(QStringLiteral("not an entry"));
    defaults().setValue(TNUserDefaultsHelper::ServersKey, servers);
    ASSERT_EQ(model->rowCount(), 4);
    EXPECT_FALSE(model->setData(model->index(3, 2), QStringLiteral("eve"), Qt::EditRole));
}

TEST_F(PreferencesTest, GeneralControlsShowAndStoreTheirSettings)
{
    auto *oneStep = child<QCheckBox>("oneStepBox");
    auto *alerts = child<QCheckBox>("alertLoginBox");
    EXPECT_FALSE(oneStep->isChecked());
    EXPECT_TRUE(alerts->isChecked());
    oneStep->click();
    EXPECT_TRUE(TNUserDefaultsHelper::oneStep());
    TNUserDefaultsHelper::setShowAlertForLoginError(false);
    EXPECT_FALSE(alerts->isChecked());

    auto *pattern = child<QLineEdit>("ignorePatternField");
    EXPECT_EQ(pattern->text(), QStringLiteral("sample"));
    pattern->setText(QStringLiteral("trailer"));
    pattern->setModified(true);
    Q_EMIT pattern->editingFinished();
    EXPECT_EQ(TNUserDefaultsHelper::ignoreSubFilePattern(), QStringLiteral("trailer"));
    defaults().setValue(TNUserDefaultsHelper::IgnoreFilePatternKey, QStringLiteral("extra"));
    EXPECT_EQ(pattern->text(), QStringLiteral("extra"));

    auto *destination = child<QComboBox>("downloadDestinationChoice");
    EXPECT_EQ(destination->currentData().toInt(), 0);
    destination->setCurrentIndex(1);
    Q_EMIT destination->activated(1);
    EXPECT_EQ(TNUserDefaultsHelper::downloadDestination(), TNUserDefaultsHelper::DownloadToFolder);
    defaults().setValue(TNUserDefaultsHelper::DownloadDestinationKey, 7);
    EXPECT_EQ(destination->currentIndex(), -1);
}

} // namespace
