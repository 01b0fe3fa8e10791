#pragma once

#include "app/preferences/ImageViewDragDropDelegate.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>

class LanguagesTableModel;
class QAction;
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

private:
    void awakeFromNib();
    void bindGeneralControls();
    void chooseFolder(const QString &key);
    QString keyForSlot(const ImageViewDragDrop *slot) const;
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
};
