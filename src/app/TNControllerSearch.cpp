#include "app/TNController.h"
#include "app/TNLastActionResult.h"
#include "app/TNProgressController.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/VideoFile.h"
#include "platform/OperationQueue.h"

bool TNController::checkConfiguredLanguages()
{
    if (!TNUserDefaultsHelper::configuredLanguages().isEmpty())
        return true;
    showAlert(tr("You haven't configured any search language"),
              tr("Choose at least one Subtitle search language in Trovanel Preferences"), false);
    return false;
}

void TNController::doSubtitleSearch()
{
    if (!checkConfiguredLanguages())
        return;
    if (m_modelController->getVideoFilesToSearch().isEmpty())
        return;
    if (!TNUserDefaultsHelper::IsPodEnabled() && !TNUserDefaultsHelper::IsOSEnabled() &&
        !TNUserDefaultsHelper::IsBetaSeriesEnabled()) {
        showAlert(tr("All subtitles services are disabled"),
                  tr("Enable at least one Subtitle service in Trovanel Preferences"), false);
        return;
    }
    TNLastActionResult::defaultActionResult().setLastAction(TNLastActionResult::SearchAction);
    m_operationQueue->setSuspended(false);
    if (m_operationQueue->operationCount() > 0 && m_progressSheet)
        m_progressSheet->startSearch();
    updateActions();
}

void TNController::checkSubtitlesWithLoginError()
{
    const TNLastActionResult &record = TNLastActionResult::defaultActionResult();
    for (Subtitle *subtitle : m_modelController->getSubtitlesWithLoginError()) {
        if (record.lastLoginForService(subtitle->service().value_or(QString())) !=
            TNLastActionResult::LoggedIn)
            continue;
        subtitle->setStatus(std::nullopt);
        m_modelController->checkHighestSubtitle(subtitle->parent());
    }
}
