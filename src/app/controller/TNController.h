#pragma once

#include "app/list/TNMainWindow.h"
#include "app/list/TNOutlineView.h"
#include "app/sheets/TNProgressController.h"
#include "catalogue/FileSearchOperation.h"
#include "http/HTTPRequest.h"
#include "services/SubtitleSearchOperation.h"
#include "services/opensubtitles/TNSubDownloadProtocol.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QStringList>
#include <QUrl>

#include <memory>

class CatalogueTreeModel;
class OperationQueue;
class PreferencesWindowController;
class QLabel;
class QMenu;
class SearchResultQueue;
class Subtitle;
class TNModelController;
class TNRemoteNotificationWindowController;
class TNVideoFileParser;
class VideoFile;
struct ParserResult;
struct SearchReply;

using SearchOperations = QList<std::shared_ptr<SubtitleSearchOperation>>;

// The application's spine: it owns the catalogue and the one operation queue, runs the
// commands of the main window, catalogues what the folder scan finds and, when the queue
// runs dry, closes the batch. Main thread only.
class TNController final : public QObject,
                           public VideoFileSearchProtocol,
                           public SubtitleSearchProtocol,
                           public TNOutlineViewDelegate,
                           public TNSubDownloadProtocol
{
    Q_OBJECT

public:
    static inline const QString ImportFilesIdentifier = QStringLiteral("TNToolbarImportFiles");
    static inline const QString SearchSubsIdentifier = QStringLiteral("TNToolbarSearchSubs");
    static inline const QString DownloadSubsIdentifier = QStringLiteral("TNToolbarDownloadSubs");
    static inline const QString ClearListIdentifier = QStringLiteral("TNToolbarClearList");
    static inline const QString PreferencesIdentifier = QStringLiteral("TNToolbarPreferences");

    explicit TNController(QObject *parent = nullptr);
    ~TNController() override;

    // Connects the window's list, status line and commands; the progress sheet goes on it.
    void setWindow(TNMainWindow *window);
    TNMainWindow *window() const { return m_window; }

    void awakeFromNib();
    // Registers the defaults, tells about settings that had to be reset, and imports the
    // start-up folder together with what the command line named.
    void applicationDidFinishLaunching(const QStringList &launchPaths);
    // Cancels what runs and waits for it, so that quitting never hangs on a scan.
    void applicationWillTerminate();

    TNModelController &modelController() const { return *m_modelController; }
    OperationQueue &operationQueue() const { return *m_operationQueue; }
    CatalogueTreeModel &treeController() const { return *m_treeController; }
    TNProgressController *progressSheet() const { return m_progressSheet; }
    const QStringList &lastImportedFolders() const { return m_lastImportedFolders; }

    // Import commands.
    void doFileOpen();
    void openPanelDidEnd(int returnCode, const QStringList &paths);
    void filesDropped(const QStringList &paths) override;
    // While a batch runs, the paths are imported when it ends.
    void applicationOpenFiles(const QStringList &paths);
    void reScan();
    void checkStartupImport(const QStringList &launchPaths = {});
    void saveLastImportedFolders(const QStringList &paths);
    void startFileImportTask(const QStringList &paths);

    // The folder scan's calls, on the main thread; the file was hashed and its name parsed
    // on the scan's thread.
    void didImportFile(const ScannedVideoFile &file) override;
    void didFilterFile(const QString &path) override;
    // Counted until the list is cleared or imported anew; the scan logs the path and reason.
    void didSkipUnreadable(const QString &path, const QString &reason) override;

    // The search: one operation per service (two for Podnapisi, the second only logging
    // in), each with the service's account and this controller as delegate.
    void doSubtitleSearch();
    SearchOperations buildOSTasksForVideoFiles(const QList<VideoFile *> &videos,
                                               const QStringList &languages);
    SearchOperations buildPodTasksForVideoFiles(const QList<VideoFile *> &videos,
                                                const QStringList &languages);
    SearchOperations buildBetaSeriesTasksForVideoFiles(const QList<VideoFile *> &videos,
                                                       const QStringList &languages);

    // The searches' reports, on the main thread.
    void didReceiveSubtitles(const RemoteSubtitles &subtitles) override;
    void didLogin(const QString &service) override;
    void didFailWithLoginError(const QString &service) override;
    void didFailWithError(const QString &service) override;
    void didFailWithAccountProblem(const QString &service, const QString &problem) override;

    // Other commands.
    void doDownload();
    // Download results: the OpenSubtitles batch's on its worker thread, the requests' on the
    // main thread.
    void subtitleDownloadEnded(const TNRemoteSubtitle &subtitle, const Error *error) override;
    Q_INVOKABLE void subtitleDownloadFinished(HTTPRequest *request);
    Q_INVOKABLE void subtitleDownloadFailed(HTTPRequest *request);
    void doClearList();
    void doCancel();
    void checkedButtonForItem(Subtitle *subtitle) override;
    void unclick();
    QMenu *contextMenu() override;
    void showPreferencesPanel();
    // Only while the queue is idle; an empty identifier keeps the tab shown last.
    void showPrefsInTab(const QString &identifier);
    // Made on first use.
    PreferencesWindowController &prefsController();
    void showAboutBox();
    // Looks for a notice in the background; a notice found gets a window of its own.
    void checkRemoteNotifications(const QUrl &endpoint);

    // Enabling rules; idle means that the queue holds no operation right now.
    bool operationsCount() const;
    bool scanEnabled() const { return operationsCount(); }
    bool preferencesEnabled() const { return operationsCount(); }
    bool searchEnabled() const;
    bool downloadEnabled() const;
    bool clearEnabled() const;
    bool canRescan() const;
    bool validateToolbarItem(const QString &identifier) const;

    // The size a resizing window is given: its current width, twice as high.
    static QSize windowWillResize(const QWidget *window, const QSize &proposedSize);

    // The end of a batch and the status line.
    void operationsEnded();
    void updateStatusInfo();
    QString statusText() const;

    qint32 totalVideoFiles() const { return m_totalVideoFiles; }
    qint32 totalSubs() const { return m_totalSubs; }
    qint32 totalSubsToDownload() const { return m_totalSubsToDownload; }
    qint32 totalVideoFilesToSearch() const { return m_totalVideoFilesToSearch; }

private:
    static constexpr qint64 StatusRefreshMs = 250;

    bool checkConfiguredLanguages();
    void checkSubtitlesWithLoginError();
    // Catalogues a slice of a reply's records, and selects once the reply is in.
    void catalogueSubtitles(const SearchReply &reply, qsizetype first,
                            const QList<ParserResult> &names, bool last);
    void searchResultsCatalogued();
    void configureSearch(SubtitleSearchOperation &operation, const QString &service);
    void updateActions();
    // The status line and the sheet's latest file, a few times a second while files come in.
    void refreshImportProgress(const QString &latestPath);
    // The steps of a batch's end.
    void closeProgressAndRefresh();
    void importEnded(bool chain);
    void searchEnded(bool chain);
    bool reportUnreachableServices();
    bool reportUnsentAccounts();
    bool reportRefusedLogins();
    void reportDownloadLimits();
    // The enabled services whose last login ended in the given state, one a line.
    QString serviceList(qint32 loginState) const;
    void showAlert(const QString &message, const QString &information, bool showSuppression);
    quint64 queueOpenSubtitlesBatch(const QList<Subtitle *> &subtitles);
    void queueDownloadRequest(const Subtitle *subtitle, double deadlineSeconds);
    void openSubtitlesDownloadEnded(const TNRemoteSubtitle &result, bool failed);
    Subtitle *subtitleForRequest(const HTTPRequest *request) const;
    void downloadFailed(Subtitle *subtitle);

    std::unique_ptr<TNModelController> m_modelController;
    QPointer<TNMainWindow> m_window;
    std::unique_ptr<OperationQueue> m_operationQueue;
    // Shared with the scan's thread, which parses with it.
    std::shared_ptr<const TNVideoFileParser> m_videoFileParser;
    CatalogueTreeModel *m_treeController = nullptr;
    QPointer<TNProgressController> m_progressSheet;
    QStringList m_lastImportedFolders;
    QStringList m_pendingOpenFiles;
    qint32 m_totalVideoFiles = 0;
    qint32 m_totalSubs = 0;
    qint32 m_totalSubsToDownload = 0;
    qint32 m_totalVideoFilesToSearch = 0;
    std::unique_ptr<QMenu> m_contextMenu;
    std::unique_ptr<PreferencesWindowController> m_prefsController;
    std::unique_ptr<TNRemoteNotificationWindowController> m_remoteNotificationWindowController;
    QString m_statusText;
    QElapsedTimer m_statusRefresh;
    // The services found unreachable during the current search.
    QSet<QString> m_unreachableServices;
    std::unique_ptr<SearchResultQueue> m_searchResults;
    // The videos the reply being catalogued has given candidates so far.
    QList<ObjectId> m_repliedVideos;
    // The queue ran dry while search results still waited: the batch ends after them.
    bool m_batchEndWaits = false;
};
