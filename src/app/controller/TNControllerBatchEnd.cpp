#include "app/controller/SearchResultQueue.h"
#include "app/controller/TNController.h"
#include "app/list/CatalogueTreeModel.h"
#include "app/list/TNMainWindow.h"
#include "app/sheets/TNAlert.h"
#include "app/sheets/TNLastActionResult.h"
#include "app/sheets/TNProgressController.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/OperationQueue.h"

#include <QLabel>

namespace {

// The services a search asks, in the order the alerts name them.
QStringList enabledServices()
{
    QStringList services;
    if (TNUserDefaultsHelper::IsPodEnabled())
        services.append(PodnapisiServiceKey);
    if (TNUserDefaultsHelper::IsOSEnabled())
        services.append(OpenSubtitlesServiceKey);
    if (TNUserDefaultsHelper::IsBetaSeriesEnabled())
        services.append(BetaSeriesServiceKey);
    return services;
}

} // namespace

void TNController::updateStatusInfo()
{
    m_totalVideoFiles = static_cast<qint32>(m_modelController->countVideoFiles());
    m_totalSubs = static_cast<qint32>(m_modelController->countSubtitles());
    m_totalSubsToDownload = static_cast<qint32>(m_modelController->countSubtitlesToDownload());
    m_totalVideoFilesToSearch = static_cast<qint32>(m_modelController->countVideoFilesToSearch());

    const TNLastActionResult &record = TNLastActionResult::defaultActionResult();
    QString passedOver;
    if (record.lastAction() == TNLastActionResult::ImportAction && record.ignoredFiles() >= 1)
        passedOver = tr(", %1 Ignored Video file").arg(record.ignoredFiles());
    // Whatever the phase, the list lacks these until they are imported again.
    if (record.unreadableFiles() >= 1)
        passedOver += tr(", skipped as unreadable: %1").arg(record.unreadableFiles());
    if (m_totalVideoFiles >= 1) {
        m_statusText = tr("%1 Video File").arg(m_totalVideoFiles) + passedOver;
        if (m_totalSubs > 0)
            m_statusText += tr(", %1 Subtitles found").arg(m_totalSubs);
        if (m_totalSubsToDownload > 0)
            m_statusText += tr(", %1 selected to download").arg(m_totalSubsToDownload);
    } else {
        m_statusText = tr("The video file list is empty") + passedOver;
    }
    if (m_window)
        m_window->statusTextField()->setText(m_statusText);
    updateActions();
}

QString TNController::statusText() const
{
    return m_statusText;
}

QString TNController::serviceList(qint32 loginState) const
{
    const TNLastActionResult &record = TNLastActionResult::defaultActionResult();
    QString list;
    for (const QString &service : enabledServices()) {
        if (record.lastLoginForService(service) == loginState)
            list += QChar(0x2022) + QLatin1Char(' ') + service + QLatin1Char('\n');
    }
    return list;
}

void TNController::showAlert(const QString &message, const QString &information,
                             bool showSuppression)
{
    TNAlert::defaultTNAlert().showModalForWindow(m_window, message, information, showSuppression);
}

void TNController::operationsEnded()
{
    // Search results still waiting belong to this batch, which ends once they are in.
    if (!m_searchResults->isEmpty()) {
        m_batchEndWaits = true;
        return;
    }
    // A phase that is still adding its operations may have run dry for a moment.
    if (!operationsCount())
        return;
    closeProgressAndRefresh();

    TNLastActionResult &record = TNLastActionResult::defaultActionResult();
    const quint64 phase = record.lastAction();
    TNAlert::defaultTNAlert().setLastAction(TNAlert::IgnoredVideoFilesAlert);
    // In one-step mode each phase starts the next, unless the user cancelled this one.
    const bool chain = TNUserDefaultsHelper::oneStep() && !record.hasCancelled();
    if (phase == TNLastActionResult::ImportAction)
        importEnded(chain);
    else if (phase == TNLastActionResult::SearchAction)
        searchEnded(chain);
    else if (phase == TNLastActionResult::DownloadAction)
        reportDownloadLimits();
    record.setHasCancelled(false);

    if (!m_pendingOpenFiles.isEmpty() && operationsCount())
        applicationOpenFiles(std::exchange(m_pendingOpenFiles, {}));
}

void TNController::closeProgressAndRefresh()
{
    if (m_progressSheet)
        m_progressSheet->endSheet();
    updateStatusInfo();
    // Rows keep coming in groups after the first import: a search's replies add candidates.
    m_treeController->rearrangeObjects();
    if (m_window)
        m_window->outlineView()->expandParents();
}

void TNController::importEnded(bool chain)
{
    if (chain)
        doSubtitleSearch();
    const TNLastActionResult &record = TNLastActionResult::defaultActionResult();
    if (record.ignoredFiles() > 0 && TNUserDefaultsHelper::showAlertForIgnoredVideoFiles()) {
        TNAlert::defaultTNAlert().setLastAction(TNAlert::IgnoredVideoFilesAlert);
        showAlert(
            tr("Trovanel ignored %1 video files with local subtitles").arg(record.ignoredFiles()),
            tr("If you want to import video files with local subtitles, you can enable "
               "it in Trovanel Preferences"),
            true);
    }
}

void TNController::searchEnded(bool chain)
{
    // One alert at most: unreachable services first, then accounts not sent, then refusals.
    const bool alertShown =
        reportUnreachableServices() || reportUnsentAccounts() || reportRefusedLogins();
    checkSubtitlesWithLoginError();
    if (!alertShown && chain)
        doDownload();
}

bool TNController::reportUnreachableServices()
{
    const QString unreachable = serviceList(TNLastActionResult::NoConnection);
    if (unreachable.isEmpty())
        return false;
    showAlert(tr("Trovanel could not connect to the following Subtitles Services:"),
              unreachable + QLatin1Char('\n') +
                  tr("The server is not responding. This usually happens when the "
                     "server is offline or there is a problem with the internet "
                     "connection. You should retry later."),
              false);
    return true;
}

bool TNController::reportUnsentAccounts()
{
    const QString unsent = serviceList(TNLastActionResult::AccountNotSent);
    if (unsent.isEmpty())
        return false;
    const TNLastActionResult &record = TNLastActionResult::defaultActionResult();
    QString problems;
    for (const QString &service : enabledServices()) {
        if (record.lastLoginForService(service) == TNLastActionResult::AccountNotSent)
            problems += record.accountProblemForService(service) + QLatin1Char('\n');
    }
    showAlert(tr("Trovanel did not send your account to the following Subtitles Services:"),
              unsent + QLatin1Char('\n') + problems + QLatin1Char('\n') +
                  tr("Change the user name or password in Trovanel Preferences."),
              false);
    return true;
}

bool TNController::reportRefusedLogins()
{
    const QString refused = serviceList(TNLastActionResult::LoginRefused);
    if (refused.isEmpty() || !TNUserDefaultsHelper::showAlertForLoginError())
        return false;
    TNAlert::defaultTNAlert().loginError(
        m_window, tr("Invalid user name or password for:"),
        refused + QLatin1Char('\n') +
            tr("Verify the user name or password in Trovanel Configuration. "
               "Remember that some subtitles services may require to have a valid "
               "account in their site in order to download subtitles. Trovanel "
               "will not be able to download subtitles with login error"),
        true);
    return true;
}

void TNController::reportDownloadLimits()
{
    const TNLastActionResult &record = TNLastActionResult::defaultActionResult();
    QString limits = QStringLiteral("\n");
    if (TNUserDefaultsHelper::IsPodEnabled() &&
        record.downloadLimitReachedForService(PodnapisiServiceKey))
        limits += PodnapisiServiceKey;
    if (TNUserDefaultsHelper::IsOSEnabled() &&
        record.downloadLimitReachedForService(OpenSubtitlesServiceKey))
        limits += QLatin1Char('\n') + OpenSubtitlesServiceKey;
    if (TNUserDefaultsHelper::IsBetaSeriesEnabled() &&
        record.downloadLimitReachedForService(BetaSeriesServiceKey))
        limits += QLatin1Char('\n') + BetaSeriesServiceKey;
    if (limits == QLatin1String("\n"))
        return;
    showAlert(tr("You have reached the daily download limit for: %1").arg(limits),
              tr("Some subtitles services may have a daily subtitle download limit. "
                 "When that limit is reached, file downloads are temporarily disabled "
                 "for that service. Please, wait some time before trying to download "
                 "again from this service."),
              false);
}
