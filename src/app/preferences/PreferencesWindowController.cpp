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
#include <QFileDialog>
#include <QHeaderView>

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
    for (ImageViewDragDrop *slot : {m_ui->lang0, m_ui->lang1, m_ui->lang2, m_ui->lang3}) {
        slot->setDelegate(this);
        showLanguage(slot);
    }
    connect(&m_defaults, &UserDefaults::valueChanged, this, [this](const QString &key) {
        const qsizetype slot = TNUserDefaultsHelper::LanguageKeys.indexOf(key);
        if (slot >= 0)
            showLanguage(std::array{m_ui->lang0, m_ui->lang1, m_ui->lang2, m_ui->lang3}[slot]);
    });

    m_servers = new ServersTableModel(m_defaults, this);
    m_ui->serversTable->setModel(m_servers);
    m_ui->serversTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_ui->serversTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_ui->serversTable->verticalHeader()->hide();
    m_ui->serversTable->horizontalHeader()->setStretchLastSection(true);
    m_ui->serversTable->setItemDelegate(new VerticallyCenteredTextFieldCell(m_ui->serversTable));
    m_ui->serversTable->resizeColumnsToContents();
    connect(m_ui->serversTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &PreferencesWindowController::showSelectedPassword);
    connect(m_ui->passTextField, &QLineEdit::editingFinished, this,
            &PreferencesWindowController::controlTextDidEndEditing);

    awakeFromNib();
}

PreferencesWindowController::~PreferencesWindowController() = default;

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

QString PreferencesWindowController::keyForSlot(const ImageViewDragDrop *slot) const
{
    const std::array slots{m_ui->lang0, m_ui->lang1, m_ui->lang2, m_ui->lang3};
    const auto found = std::find(slots.begin(), slots.end(), slot);
    if (found == slots.end())
        return {};
    return TNUserDefaultsHelper::LanguageKeys.at(found - slots.begin());
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
    return true;
}

bool PreferencesWindowController::draggedOutOfFrame(ImageViewDragDrop *sender)
{
    const QStringList values = languageValues();
    const auto set = std::count_if(values.begin(), values.end(),
                                   [](const QString &code) { return code.size() >= 2; });
    const QString key = keyForSlot(sender);
    // The last preferred language stays.
    if (key.isNull() || set < 2)
        return false;
    m_defaults.setValue(key, QStringLiteral(""));
    return true;
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
