#include "app/controller/TNController.h"

#include "app/about/TNAboutWindowController.h"
#include "app/controller/SearchResultQueue.h"
#include "app/list/CatalogueTreeModel.h"
#include "app/list/TNMainWindow.h"
#include "app/notices/TNNotificationParser.h"
#include "app/notices/TNRemoteNotificationWindowController.h"
#include "app/preferences/PreferencesWindowController.h"
#include "app/sheets/TNLastActionResult.h"
#include "app/sheets/TNOpenPanel.h"
#include "app/sheets/TNProgressController.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/TNVideoFileParser.h"
#include "catalogue/VideoFile.h"
#include "platform/Logging.h"
#include "platform/MainThread.h"
#include "platform/OperationQueue.h"
#include "platform/PathUtilities.h"
#include "platform/RecentDocuments.h"
#include "platform/UserDefaults.h"
#include "services/OSHashAlgorithm.h"
#include "services/TNKeychain.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QScreen>

namespace {

TNLastActionResult &lastActionResult()
{
    return TNLastActionResult::defaultActionResult();
}

} // namespace

TNController::TNController(QObject *parent)
    : QObject(parent), m_modelController(std::make_unique<TNModelController>()),
      m_videoFileParser(
          std::make_shared<TNVideoFileParser>(TNVideoFileParser::withBundledExpressions()))
{
    m_lastImportedFolders.reserve(10);
    m_treeController = new CatalogueTreeModel(*m_modelController, this);
    m_searchResults = std::make_unique<SearchResultQueue>(
        *m_videoFileParser,
        [this](const SearchReply &reply, qsizetype first, const QList<ParserResult> &names,
               bool last) { catalogueSubtitles(reply, first, names, last); });
    connect(m_searchResults.get(), &SearchResultQueue::drained, this,
            &TNController::searchResultsCatalogued);
}

TNController::~TNController()
{
    if (m_operationQueue)
        applicationWillTerminate();
}

void TNController::setWindow(TNMainWindow *window)
{
    m_window = window;
    if (!window)
        return;
    m_progressSheet = new TNProgressController(window);
    connect(m_progressSheet, &TNProgressController::cancelRequested, this, &TNController::doCancel);
    // Quitting works from the sheet too; quitting cancels what runs.
    m_progressSheet->addAction(window->action(QStringLiteral("actionQuit")));
    connect(window, &TNMainWindow::closing, this, [this] {
        if (!operationsCount())
            doCancel();
    });
    TNOutlineView *list = window->outlineView();
    list->setModel(m_treeController);
    list->setTnDelegate(this);
    const auto command = [this, window](const QString &identifier, void (TNController::*slot)()) {
        connect(window->action(identifier), &QAction::triggered, this, slot);
    };
    command(ImportFilesIdentifier, &TNController::doFileOpen);
    command(SearchSubsIdentifier, &TNController::doSubtitleSearch);
    command(DownloadSubsIdentifier, &TNController::doDownload);
    command(ClearListIdentifier, &TNController::doClearList);
    connect(window->reScanAction(), &QAction::triggered, this, &TNController::reScan);
    command(PreferencesIdentifier, &TNController::showPreferencesPanel);
    command(QStringLiteral("actionAbout"), &TNController::showAboutBox);
    updateActions();
}

void TNController::awakeFromNib()
{
    m_operationQueue = std::make_unique<OperationQueue>();
    connect(m_operationQueue.get(), &OperationQueue::operationsBecameEmpty, this,
            &TNController::operationsEnded, Qt::QueuedConnection);
    // Seeds the first language from the system before the defaults are registered.
    TNUserDefaultsHelper::configuredLanguages();
    updateStatusInfo();
    m_contextMenu = std::make_unique<QMenu>();
    QAction *uncheckAll = m_contextMenu->addAction(tr("Uncheck All"));
    connect(uncheckAll, &QAction::triggered, this, &TNController::unclick);
    uncheckAll->setEnabled(false);
}

void TNController::applicationDidFinishLaunching(const QStringList &launchPaths)
{
    TNUserDefaultsHelper::initDefaults();
    if (const auto damaged = UserDefaults::standard().takeDamagedFile()) {
        showAlert(tr("Your settings could not be read and were reset"),
                  damaged->keptAs.isEmpty()
                      ? tr("The damaged settings file could not be kept aside: %1")
                            .arg(UserDefaults::standard().filePath())
                      : tr("The damaged settings file was kept as %1").arg(damaged->keptAs),
                  false);
    }
    checkStartupImport(launchPaths);
}

void TNController::applicationWillTerminate()
{
    // Nothing is reported or chained while quitting.
    disconnect(m_operationQueue.get(), &OperationQueue::operationsBecameEmpty, this,
               &TNController::operationsEnded);
    m_operationQueue->cancelAllOperations();
    m_operationQueue->waitUntilAllOperationsAreFinished();
}

// Import commands

void TNController::doFileOpen()
{
    auto *panel = new TNOpenPanel(m_window);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QDialog::finished, this,
            [this, panel](int result) { openPanelDidEnd(result, panel->chosenPaths()); });
    panel->open();
}

void TNController::openPanelDidEnd(int returnCode, const QStringList &paths)
{
    if (returnCode != QDialog::Accepted)
        return;
    saveLastImportedFolders(paths);
    startFileImportTask(paths);
}

void TNController::filesDropped(const QStringList &paths)
{
    applicationOpenFiles(paths);
}

void TNController::applicationOpenFiles(const QStringList &paths)
{
    // What another launch hands over while a batch runs waits for the end of the batch.
    if (!operationsCount()) {
        m_pendingOpenFiles.append(paths);
        return;
    }
    saveLastImportedFolders(paths);
    startFileImportTask(paths);
}

void TNController::reScan()
{
    doClearList();
    startFileImportTask(m_lastImportedFolders);
}

void TNController::checkStartupImport(const QStringList &launchPaths)
{
    // Both would start an import, and the second would cancel the first: one import
    // takes the start-up folder and what the command line named.
    QStringList paths;
    if (TNUserDefaultsHelper::hasToImportAtStartup()) {
        const QString folder = TNUserDefaultsHelper::startupImportFolder();
        if (!folder.isNull()) {
            RecentDocuments().noteNewRecentDocumentURL(QUrl::fromLocalFile(folder));
            paths.append(folder);
        }
    }
    paths.append(launchPaths);
    if (paths.isEmpty())
        return;
    saveLastImportedFolders(paths);
    startFileImportTask(paths);
}

void TNController::saveLastImportedFolders(const QStringList &paths)
{
    TNOpenPanel::rememberImport(paths);
    for (const QString &path : paths) {
        if (QFileInfo(path).isDir())
            m_lastImportedFolders.append(path);
    }
}

void TNController::startFileImportTask(const QStringList &paths)
{
    lastActionResult().setIgnoredFiles(0);
    lastActionResult().setUnreadableFiles(0);
    m_operationQueue->cancelAllOperations();
    auto scan = std::make_shared<FileSearchOperation>(paths);
    scan->setDelegate(this);
    scan->setSubtitlesFolder(TNUserDefaultsHelper::subtitleDownloadFolder());
    scan->setFilterFilesWithSubtitles(TNUserDefaultsHelper::filterFilesWithSubtitles());
    scan->setVideoFileReader([parser = m_videoFileParser](ScannedVideoFile &file) {
        const OSHashResult hash = OSHashAlgorithm::hashForPath(file.path);
        file.hash = hash.hash;
        file.size = hash.size;
        file.parsed = parser->parseFile(file.path);
    });
    lastActionResult().setLastAction(TNLastActionResult::ImportAction);
    if (m_progressSheet)
        m_progressSheet->startImport();
    m_treeController->setGroupingInsertions(true);
    m_statusRefresh.invalidate();
    m_operationQueue->addOperation(scan);
    m_operationQueue->setSuspended(false);
    updateActions();
}

void TNController::didImportFile(const ScannedVideoFile &file)
{
    VideoFile *video = m_modelController->insertVideoFile(file.path);
    if (!video)
        return;
    const ParserResult &result = file.parsed;
    video->setYear(result.year);
    video->setEpisode(result.episode);
    video->setSeason(result.season);
    video->setName(result.name);
    video->setReleaseInfo(result.release);
    video->setModified(true);
    video->setFiletype(result.fileType);
    video->setFileHash(file.hash != 0 ? OSHashAlgorithm::stringForHash(file.hash) : QString());
    video->setFileSize(static_cast<qint64>(file.size));
    refreshImportProgress(file.path);
}

void TNController::refreshImportProgress(const QString &latestPath)
{
    if (m_statusRefresh.isValid() && !m_statusRefresh.hasExpired(StatusRefreshMs))
        return;
    m_statusRefresh.start();
    // Re-laying out the sheet for every file would cost more than cataloguing it.
    if (m_progressSheet)
        m_progressSheet->setDetailedText(PathUtilities::lastPathComponent(latestPath));
    updateStatusInfo();
}

void TNController::didFilterFile(const QString &)
{
    lastActionResult().addIgnoredFile();
}

void TNController::didSkipUnreadable(const QString &, const QString &)
{
    lastActionResult().addUnreadableFile();
}

// Other commands

void TNController::doClearList()
{
    m_modelController->removeAll();
    lastActionResult().setUnreadableFiles(0);
    updateStatusInfo();
    lastActionResult().setLastAction(TNLastActionResult::ClearAction);
}

void TNController::doCancel()
{
    if (m_progressSheet)
        m_progressSheet->cancel();
    m_operationQueue->cancelAllOperations();
    lastActionResult().setHasCancelled(true);
}

void TNController::checkedButtonForItem(Subtitle *subtitle)
{
    if (!subtitle)
        return;
    const qint32 status = subtitle->status().value_or(SubtitleStatusNotSelected);
    if (status == SubtitleStatusSelected)
        subtitle->setStatus(SubtitleStatusNotSelected);
    else if (status == SubtitleStatusNotSelected)
        subtitle->setStatus(SubtitleStatusSelected);
    updateStatusInfo();
}

void TNController::unclick()
{
    for (Subtitle *subtitle : m_modelController->getSubtitlesToDownload())
        subtitle->setStatus(SubtitleStatusNotSelected);
    updateStatusInfo();
}

QMenu *TNController::contextMenu()
{
    m_contextMenu->actions().constFirst()->setEnabled(m_totalSubsToDownload > 0);
    return m_contextMenu.get();
}

// Enabling rules

bool TNController::operationsCount() const
{
    return (!m_operationQueue || m_operationQueue->operationCount() == 0) &&
           m_searchResults->isEmpty();
}

bool TNController::searchEnabled() const
{
    return operationsCount() && m_totalVideoFiles > 0 && m_totalVideoFilesToSearch > 0;
}

bool TNController::downloadEnabled() const
{
    return operationsCount() && m_totalSubsToDownload > 0;
}

bool TNController::clearEnabled() const
{
    return operationsCount() && m_totalVideoFiles > 0;
}

bool TNController::canRescan() const
{
    return !m_lastImportedFolders.isEmpty() && operationsCount();
}

bool TNController::validateToolbarItem(const QString &identifier) const
{
    if (identifier == ImportFilesIdentifier)
        return scanEnabled();
    if (identifier == SearchSubsIdentifier)
        return searchEnabled();
    if (identifier == DownloadSubsIdentifier)
        return downloadEnabled();
    if (identifier == ClearListIdentifier)
        return clearEnabled();
    if (identifier == PreferencesIdentifier)
        return preferencesEnabled();
    return false;
}

void TNController::updateActions()
{
    if (!m_window)
        return;
    for (QAction *action : m_window->toolbarActions()) {
        if (!action->isSeparator())
            action->setEnabled(validateToolbarItem(action->objectName()));
    }
    m_window->reScanAction()->setEnabled(canRescan());
    // The sheet does not block the window, so that it can still be closed: the list takes
    // no clicks or drops while a batch runs.
    m_window->outlineView()->setEnabled(operationsCount());
}

QSize TNController::windowWillResize(const QWidget *window, const QSize &)
{
    if (!window)
        return {0, 0};
    const int width = window->frameGeometry().width();
    return {width, 2 * width};
}

// Other windows

void TNController::showPreferencesPanel()
{
    showPrefsInTab(QString());
}

void TNController::showPrefsInTab(const QString &identifier)
{
    if (!operationsCount())
        return;
    PreferencesWindowController &preferences = prefsController();
    preferences.showTab(identifier);
    preferences.show();
    preferences.raise();
    preferences.activateWindow();
}

PreferencesWindowController &TNController::prefsController()
{
    if (!m_prefsController) {
        m_prefsController =
            std::make_unique<PreferencesWindowController>(&TNKeychain::defaultKeychain);
        m_prefsController->setController(this);
        if (const QScreen *screen = m_prefsController->screen()) {
            QRect frame = m_prefsController->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_prefsController->move(frame.topLeft());
        }
    }
    return *m_prefsController;
}

void TNController::showAboutBox()
{
    TNAboutWindowController::aboutController().showWindow();
}

void TNController::checkRemoteNotifications(const QUrl &endpoint)
{
    QPointer<TNController> self(this);
    TNNotificationParser(endpoint, UserDefaults::standard())
        .findRemoteNotifications([self](const TNRemoteNotification &notice) {
            MainThread::post([self, notice] {
                if (!self)
                    return;
                self->m_remoteNotificationWindowController =
                    std::make_unique<TNRemoteNotificationWindowController>(
                        UserDefaults::standard());
                self->m_remoteNotificationWindowController->showNotification(notice);
            });
        });
}
