#pragma once

#include "app/preferences/ImageViewDragDropDelegate.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>

class LanguagesTableModel;
class QAction;
class QMenu;
class ServersTableModel;
class TNController;
class TNKeychain;
class UserDefaults;

namespace Ui {
class PreferencesWindow;
}

// The preferences window: general settings, the four preferred subtitle languages filled by
// dragging languages onto their slots, and the services with their accounts, whose
// passwords live in the keychain.
class PreferencesWindowController final : public QMainWindow, public ImageViewDragDropDelegate
{
    Q_OBJECT

public:
    static inline const QString GeneralTab = QStringLiteral("ToolBar_General");
    static inline const QString LanguagesTab = QStringLiteral("ToolBar_Languages");
    static inline const QString ServersTab = QStringLiteral("ToolBar_Servers");

    // Asked each time a password is read or stored, since the keychain may open later.
    using KeychainSource = std::function<TNKeychain *()>;

    explicit PreferencesWindowController(KeychainSource keychain, QWidget *parent = nullptr);
    ~PreferencesWindowController() override;

    static QStringList toolbarAllowedItemIdentifiers();
    const QStringList &supportedLangs() const;

    // An empty identifier does nothing; an unknown one shows the general tab.
    void showTab(const QString &identifier);
    // The tab of the toolbar item; null shows the general tab.
    void setView(const QAction *item);
    void showViewWithIdentifier(const QString &identifier);
    QString selectedTab() const;

    // The application controller that made the window; not owned.
    TNController *controller() const { return m_controller; }
    void setController(TNController *controller) { m_controller = controller; }

    bool isDraggedAllowed(const QString &dragged, ImageViewDragDrop *sender) override;
    bool droppedLanguage(const QString &dropped, ImageViewDragDrop *sender) override;
    bool draggedOutOfFrame(ImageViewDragDrop *sender) override;

    // The keyboard's way to fill a slot: the language goes to the first slot without one,
    // under the same rules as a drop. False, with a message in the window, when it cannot.
    bool addPreferredLanguage(const QString &code);
    // The context menu of a slot: set any language allowed there, or remove the slot's own.
    QMenu *showSlotMenu(ImageViewDragDrop *slot, const QPoint &position);

private:
    void awakeFromNib();
    void setUpKeyboard();
    // The page's controls that Tab stops at, in the order of the layout.
    static QList<QWidget *> tabStops(QWidget *view);
    // The page before (-1) or after (+1) the shown one, in a circle.
    void showNeighbourTab(int step);
    void bindGeneralControls();
    void chooseFolder(const QString &key);
    std::array<ImageViewDragDrop *, 4> languageSlots() const;
    QString keyForSlot(const ImageViewDragDrop *slot) const;
    // Any text of two letters or more counts as a language, as in the rule that keeps the
    // last one.
    bool holdsLanguage(const ImageViewDragDrop *slot) const;
    // An empty message hides it.
    void tellAboutSlots(const QString &message);
    // lang0 to lang3 in order, up to the first key without any value.
    QStringList languageValues() const;
    void showLanguage(ImageViewDragDrop *slot);
    QVariantList selectedServers() const;
    void showSelectedPassword();
    void controlTextDidEndEditing();

    std::unique_ptr<Ui::PreferencesWindow> m_ui;
    UserDefaults &m_defaults;
    KeychainSource m_keychain;
    LanguagesTableModel *m_languages;
    ServersTableModel *m_servers;
    TNController *m_controller = nullptr;
    QMenu *m_slotMenu = nullptr;
};
