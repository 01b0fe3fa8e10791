#include "app/preferences/PreferencesWindowController.h"

#include "app/preferences/ImageViewDragDrop.h"
#include "app/preferences/LanguagesTableModel.h"
#include "app/preferences/ServersTableModel.h"
#include "app/preferences/UserDefaultsBinding.h"
#include "app/preferences/ValueTransformers.h"
#include "app/preferences/VerticallyCenteredTextFieldCell.h"
#include "catalogue/SubtitlesLanguages.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/Logging.h"
#include "platform/PathUtilities.h"
#include "platform/UserDefaults.h"
#include "services/TNKeychain.h"

#include "ui_preferences.h"

#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QShortcut>

#include <algorithm>

PreferencesWindowController::PreferencesWindowController(KeychainSource keychain, QWidget *parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::PreferencesWindow>()),
      m_defaults(UserDefaults::standard()), m_keychain(std::move(keychain))
{
    m_ui->setupUi(this);

    auto *tabs = new QActionGroup(this);
    for (QAction *tab : m_ui->toolBar->actions())
        tabs->addAction(tab);
    connect(tabs, &QActionGroup::triggered, this, &PreferencesWindowController::setView);
    // The tab views take turns in the content view.
    for (QWidget *view : {m_ui->generalView, m_ui->langsView, m_ui->serversView}) {
        m_ui->contentLayout->removeWidget(view);
        view->hide();
    }

    bindGeneralControls();

    m_languages =
        new LanguagesTableModel(SubtitlesLanguages::sharedInstance().supportedLanguages(), this);
    m_ui->langsTable->setModel(m_languages);
    m_ui->langsTable->setDragEnabled(true);
    m_ui->langsTable->setDragDropMode(QAbstractItemView::DragOnly);
    m_ui->langsTable->setDefaultDropAction(Qt::CopyAction);
    m_ui->langsTable->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_ui->langsTable, &QAbstractItemView::activated, this, [this](const QModelIndex &row) {
        addPreferredLanguage(supportedLangs().value(row.row()));
    });
    for (ImageViewDragDrop *slot : languageSlots()) {
        slot->setDelegate(this);
        slot->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(slot, &QWidget::customContextMenuRequested, this,
                [this, slot](const QPoint &position) { showSlotMenu(slot, position); });
        showLanguage(slot);
    }
    connect(&m_defaults, &UserDefaults::valueChanged, this, [this](const QString &key) {
        const qsizetype slot = TNUserDefaultsHelper::LanguageKeys.indexOf(key);
        if (slot >= 0)
            showLanguage(languageSlots().at(slot));
    });

    m_servers = new ServersTableModel(m_defaults, this);
    m_ui->serversTable->setModel(m_servers);
    m_ui->serversTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_ui->serversTable->setSelectionMode(QAbstractItemView::SingleSelection);
    // Tab leaves the table; the arrows move between its cells.
    m_ui->serversTable->setTabKeyNavigation(false);
    m_ui->serversTable->verticalHeader()->hide();
    m_ui->serversTable->horizontalHeader()->setStretchLastSection(true);
    m_ui->serversTable->setItemDelegate(new VerticallyCenteredTextFieldCell(m_ui->serversTable));
    m_ui->serversTable->resizeColumnsToContents();
    connect(m_ui->serversTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PreferencesWindowController::showSelectedPassword);
    connect(m_ui->passTextField, &QLineEdit::editingFinished, this,
            &PreferencesWindowController::controlTextDidEndEditing);

    setUpKeyboard();
    awakeFromNib();
}

PreferencesWindowController::~PreferencesWindowController() = default;

void PreferencesWindowController::setUpKeyboard()
{
    // Tab goes through the page buttons first, then through the shown page.
    QList<QWidget *> order;
    for (QAction *tab : m_ui->toolBar->actions()) {
        QWidget *button = m_ui->toolBar->widgetForAction(tab);
        button->setFocusPolicy(Qt::TabFocus);
        order.append(button);
    }
    for (QWidget *view : {m_ui->generalView, m_ui->langsView, m_ui->serversView})
        order.append(tabStops(view));
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));

    const auto pageKeys = [this](QKeySequence::StandardKey standard, Qt::Key page, int step) {
        QList<QKeySequence> keys = QKeySequence::keyBindings(standard);
        keys.append(QKeySequence(Qt::CTRL | page));
        for (const QKeySequence &key : std::as_const(keys)) {
            auto *shortcut = new QShortcut(key, this);
            connect(shortcut, &QShortcut::activated, this,
                    [this, step] { showNeighbourTab(step); });
        }
    };
    pageKeys(QKeySequence::NextChild, Qt::Key_PageDown, 1);
    pageKeys(QKeySequence::PreviousChild, Qt::Key_PageUp, -1);
}

QList<QWidget *> PreferencesWindowController::tabStops(QWidget *view)
{
    QList<QWidget *> stops = view->findChildren<QWidget *>();
    stops.removeIf([](const QWidget *control) { return !(control->focusPolicy() & Qt::TabFocus); });
    return stops;
}

void PreferencesWindowController::showNeighbourTab(int step)
{
    const QStringList tabs = toolbarAllowedItemIdentifiers();
    const auto shown = static_cast<int>(tabs.indexOf(selectedTab()));
    const auto count = static_cast<int>(tabs.size());
    const QWidget *focus = QApplication::focusWidget();
    const bool focusInPage = !focus || m_ui->contentView->isAncestorOf(focus);
    showViewWithIdentifier(tabs.at((shown + step + count) % count));
    if (!focusInPage)
        return;
    // The focus goes where Tab would first stop in the page that replaced its own.
    QWidget *view = m_ui->contentLayout->itemAt(0)->widget();
    for (QWidget *control : tabStops(view)) {
        if (control->isVisibleTo(view) && control->isEnabled()) {
            control->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void PreferencesWindowController::awakeFromNib()
{
    setView(nullptr);
    m_ui->serversTable->selectRow(0);
}

void PreferencesWindowController::bindGeneralControls()
{
    using Helper = TNUserDefaultsHelper;
    using UserDefaultsBinding::bind;
    m_ui->downloadDestinationChoice->addItem(tr("Next to the video file"), 0);
    m_ui->downloadDestinationChoice->addItem(tr("In the download folder"),
                                             Helper::DownloadToFolder);
    bind(m_ui->importAtStartupBox, Helper::ImportAtStartupKey, m_defaults);
    bind(m_ui->importFolderField, Helper::ImportFolderKey, m_defaults);
    bind(m_ui->downloadDestinationChoice, Helper::DownloadDestinationKey, m_defaults);
    bind(m_ui->downloadFolderField, Helper::DownloadFolderKey, m_defaults);
    bind(m_ui->renameSubtitleBox, Helper::RenameSubToVideoNameKey, m_defaults);
    bind(m_ui->appendLanguageBox, Helper::AlwaysAppendLanguageKey, m_defaults);
    bind(m_ui->replaceTxtField, Helper::ReplaceTxtFileExtensionKey, m_defaults);
    bind(m_ui->ignoreVideosBox, Helper::IgnoreVideoWithSubtitlesKey, m_defaults);
    bind(m_ui->dontRecurseBox, Helper::DontRecurseDirectoriesKey, m_defaults);
    bind(m_ui->ignorePatternField, Helper::IgnoreFilePatternKey, m_defaults);
    bind(m_ui->oneStepBox, Helper::OneStepKey, m_defaults);
    bind(m_ui->alertLoginBox, Helper::AlertLoginErrorsKey, m_defaults);
    bind(m_ui->alertIgnoredBox, Helper::AlertIgnoredVideoFilesKey, m_defaults);
    connect(m_ui->chooseImportFolderButton, &QPushButton::clicked, this,
            [this] { chooseFolder(Helper::ImportFolderKey); });
    connect(m_ui->chooseDownloadFolderButton, &QPushButton::clicked, this,
            [this] { chooseFolder(Helper::DownloadFolderKey); });
}

void PreferencesWindowController::chooseFolder(const QString &key)
{
    const QString current = PathUtilities::expandingTildeInPath(m_defaults.stringValue(key));
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Choose a Folder"), current);
    if (!folder.isEmpty())
        m_defaults.setValue(key, folder);
}

QStringList PreferencesWindowController::toolbarAllowedItemIdentifiers()
{
    return {GeneralTab, LanguagesTab, ServersTab};
}

const QStringList &PreferencesWindowController::supportedLangs() const
{
    return m_languages->supportedLangs();
}

void PreferencesWindowController::showTab(const QString &identifier)
{
    if (identifier.isEmpty())
        return;
    showViewWithIdentifier(identifier);
}

void PreferencesWindowController::setView(const QAction *item)
{
    showViewWithIdentifier(item ? item->objectName() : GeneralTab);
}

void PreferencesWindowController::showViewWithIdentifier(const QString &identifier)
{
    if (identifier.isEmpty())
        return;
    QWidget *view = m_ui->generalView;
    if (identifier == LanguagesTab)
        view = m_ui->langsView;
    else if (identifier == ServersTab)
        view = m_ui->serversView;
    // The toolbar marks the tab that is shown, so an unknown identifier marks the general one.
    const QString shown = view == m_ui->generalView ? GeneralTab : identifier;
    for (QAction *tab : m_ui->toolBar->actions())
        tab->setChecked(tab->objectName() == shown);

    if (QLayoutItem *current = m_ui->contentLayout->itemAt(0)) {
        QWidget *previous = current->widget();
        m_ui->contentLayout->removeWidget(previous);
        previous->hide();
    }
    m_ui->contentLayout->addWidget(view);
    view->show();
    m_ui->contentLayout->activate();
    layout()->activate();
    // Left and top edges stay; the window takes the size of the tab below the toolbar.
    const QSize size = view->sizeHint();
    setGeometry(QRect(geometry().topLeft(),
                      QSize(size.width(), size.height() + m_ui->toolBar->sizeHint().height())));
}

QString PreferencesWindowController::selectedTab() const
{
    for (const QAction *tab : m_ui->toolBar->actions()) {
        if (tab->isChecked())
            return tab->objectName();
    }
    return {};
}

std::array<ImageViewDragDrop *, 4> PreferencesWindowController::languageSlots() const
{
    return {m_ui->lang0, m_ui->lang1, m_ui->lang2, m_ui->lang3};
}

QString PreferencesWindowController::keyForSlot(const ImageViewDragDrop *slot) const
{
    const std::array slots = languageSlots();
    const auto found = std::find(slots.begin(), slots.end(), slot);
    if (found == slots.end())
        return {};
    return TNUserDefaultsHelper::LanguageKeys.at(found - slots.begin());
}

bool PreferencesWindowController::holdsLanguage(const ImageViewDragDrop *slot) const
{
    return m_defaults.stringValue(keyForSlot(slot)).size() >= 2;
}

QStringList PreferencesWindowController::languageValues() const
{
    QStringList values;
    for (const QString &key : TNUserDefaultsHelper::LanguageKeys) {
        const QVariant value = m_defaults.value(key);
        if (!value.isValid())
            break;
        values.append(UserDefaults::stringFromValue(value));
    }
    return values;
}

bool PreferencesWindowController::isDraggedAllowed(const QString &dragged,
                                                   ImageViewDragDrop *sender)
{
    Q_UNUSED(sender);
    // Text dragged in from elsewhere must be one of our language codes to become a setting.
    return !dragged.isEmpty() && supportedLangs().contains(dragged) &&
           !languageValues().contains(dragged);
}

bool PreferencesWindowController::droppedLanguage(const QString &dropped, ImageViewDragDrop *sender)
{
    const QString key = keyForSlot(sender);
    if (key.isNull())
        return false;
    m_defaults.setValue(key, dropped);
    tellAboutSlots(QString());
    return true;
}

bool PreferencesWindowController::draggedOutOfFrame(ImageViewDragDrop *sender)
{
    const QStringList values = languageValues();
    const auto set = std::count_if(values.begin(), values.end(),
                                   [](const QString &code) { return code.size() >= 2; });
    const QString key = keyForSlot(sender);
    if (key.isNull())
        return false;
    // The last preferred language stays.
    if (set < 2) {
        tellAboutSlots(tr("The last preferred language stays: add another one before removing "
                          "it."));
        return false;
    }
    m_defaults.setValue(key, QStringLiteral(""));
    tellAboutSlots(QString());
    return true;
}

bool PreferencesWindowController::addPreferredLanguage(const QString &code)
{
    const std::array slots = languageSlots();
    const auto free =
        std::find_if(slots.begin(), slots.end(),
                     [this](const ImageViewDragDrop *slot) { return !holdsLanguage(slot); });
    if (languageValues().contains(code)) {
        tellAboutSlots(tr("%1 is already a preferred language.")
                           .arg(ValueTransformers::languageNameTransform(code)));
        return false;
    }
    if (free == slots.end()) {
        tellAboutSlots(tr("The four slots hold a language each: remove one first (Delete on its "
                          "slot)."));
        return false;
    }
    return isDraggedAllowed(code, *free) && droppedLanguage(code, *free);
}

QMenu *PreferencesWindowController::showSlotMenu(ImageViewDragDrop *slot, const QPoint &position)
{
    if (m_slotMenu)
        m_slotMenu->deleteLater();
    m_slotMenu = new QMenu(this);
    m_slotMenu->setObjectName(QStringLiteral("slotMenu"));
    QMenu *languages = m_slotMenu->addMenu(tr("Set Language"));
    for (const QString &code : supportedLangs()) {
        QAction *language =
            languages->addAction(QIcon(ValueTransformers::countryImageTransformSmall(code)),
                                 ValueTransformers::languageNameTransform(code));
        language->setEnabled(isDraggedAllowed(code, slot));
        connect(language, &QAction::triggered, this,
                [this, code, slot] { droppedLanguage(code, slot); });
    }
    QAction *remove = m_slotMenu->addAction(tr("Remove Language"));
    remove->setShortcut(QKeySequence::Delete);
    remove->setEnabled(holdsLanguage(slot));
    connect(remove, &QAction::triggered, this, [this, slot] { draggedOutOfFrame(slot); });
    m_slotMenu->popup(slot->mapToGlobal(position));
    return m_slotMenu;
}

void PreferencesWindowController::tellAboutSlots(const QString &message)
{
    m_ui->slotsMessage->setText(message);
    m_ui->slotsMessage->setVisible(!message.isEmpty());
}

void PreferencesWindowController::showLanguage(ImageViewDragDrop *slot)
{
    const QString code = m_defaults.stringValue(keyForSlot(slot));
    const QPixmap flag = BindingTransformersRegistry::transformedValue(
                             BindingTransformersRegistry::CountryImageTransformName, code)
                             .value<QPixmap>();
    const QString name = BindingTransformersRegistry::transformedValue(
                             BindingTransformersRegistry::LanguageNameTransformName, code)
                             .toString();
    slot->clear();
    slot->setToolTip(code.isEmpty() ? QString() : name);
    slot->setAccessibleDescription(code.isEmpty() ? tr("Empty") : name.isEmpty() ? code : name);
    if (!flag.isNull())
        slot->setPixmap(flag);
    else if (!code.isEmpty())
        slot->setText(code);
}

QVariantList PreferencesWindowController::selectedServers() const
{
    QModelIndexList rows = m_ui->serversTable->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QVariantList entries;
    for (const QModelIndex &row : rows)
        entries.append(m_servers->entry(row.row()));
    return entries;
}

void PreferencesWindowController::showSelectedPassword()
{
    const QVariantList selection = selectedServers();
    if (selection.isEmpty())
        return;
    PasswordTransform password(m_keychain());
    m_ui->passTextField->setText(password.transformedValue(selection));
    m_ui->passTextField->setModified(false);
    m_ui->passwordProblem->hide();
}

void PreferencesWindowController::controlTextDidEndEditing()
{
    QLineEdit *field = m_ui->passTextField;
    const QVariantList selection = selectedServers();
    if (!field->isModified() || selection.isEmpty())
        return;
    field->setModified(false);
    const QVariantMap entry = selection.first().toMap();
    const QString service = entry.value(ServiceEntry::NameKey).toString();
    const QString account = entry.value(ServiceEntry::UserNameKey).toString();
    const QString item = TNKeychain::keychainNameForService(service, account);
    TNKeychain *keychain = m_keychain();
    if (keychain)
        keychain->addGenericPassword(field->text(), item, account, true);
    // Adding answers false for a new item as for a failure; reading it back tells them apart.
    if (keychain && keychain->passwordForGenericService(item, account) == field->text()) {
        m_ui->passwordProblem->hide();
        return;
    }
    qCWarning(lcApp, "Could not store the password of %s in the keychain", qPrintable(item));
    // The typed password stays in the field, and the user learns it was not kept.
    QString text = keychain
                       ? tr("The password was not saved: the password store refused it.")
                       : tr("The password was not saved: this desktop offers no password store "
                            "(a Secret Service such as GNOME Keyring or KWallet).");
    const QString reason = keychain ? keychain->problem() : TNKeychain::defaultKeychainProblem();
    if (!reason.isEmpty())
        text += QLatin1Char('\n') + reason;
    m_ui->passwordProblem->setText(text);
    m_ui->passwordProblem->show();
}
