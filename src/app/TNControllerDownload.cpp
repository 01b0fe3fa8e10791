#include "app/TNController.h"
#include "app/TNLastActionResult.h"
#include "app/TNProgressController.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/OperationQueue.h"

void TNController::doDownload()
{
    if (TNUserDefaultsHelper::downloadDestination() == 1 &&
        TNUserDefaultsHelper::subtitleDownloadFolder().isNull()) {
        showAlert(tr("The configured download folder does not exist"),
                  tr("Verify the download folder in Trovanel Preferences"), false);
        return;
    }
    const bool nothingToDownload =
        m_modelController->getSubtitlesToDownloadForService(OpenSubtitlesServiceKey).isEmpty() &&
        m_modelController->getSubtitlesToDownloadForService(PodnapisiServiceKey).isEmpty() &&
        m_modelController->getSubtitlesToDownloadForService(BetaSeriesServiceKey).isEmpty();
    if (nothingToDownload)
        return;
    TNLastActionResult::defaultActionResult().setLastAction(TNLastActionResult::DownloadAction);
    m_operationQueue->cancelAllOperations();
    m_operationQueue->setSuspended(true);
    // A sheet without any operation would never be closed.
    const int operations = m_operationQueue->operationCount();
    if (operations > 0 && m_progressSheet)
        m_progressSheet->startDownload(static_cast<quint64>(operations));
    m_operationQueue->setSuspended(false);
    updateActions();
}
