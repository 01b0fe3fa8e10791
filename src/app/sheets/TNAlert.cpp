#include "app/sheets/TNAlert.h"

#include "catalogue/TNUserDefaultsHelper.h"

TNAlert &TNAlert::defaultTNAlert()
{
    static TNAlert shared;
    return shared;
}

void TNAlert::setPresenter(AlertPresenter *presenter)
{
    m_presenter = presenter;
    showNext();
}

void TNAlert::showModalForWindow(QWidget *window, const QString &message,
                                 const QString &information, bool showSuppression)
{
    m_pending.enqueue({window, message, information, showSuppression, m_lastAction});
    showNext();
}

void TNAlert::loginError(QWidget *window, const QString &message, const QString &information,
                         bool showSuppression)
{
    m_lastAction = LoginErrorAlert;
    showModalForWindow(window, message, information, showSuppression);
}

void TNAlert::showNext()
{
    if (m_showing || !m_presenter || m_pending.isEmpty())
        return;
    m_showing = true;
    const AlertRequest request = m_pending.dequeue();
    m_presenter->present(request, [this, request](bool ticked) { alertDidEnd(request, ticked); });
}

void TNAlert::alertDidEnd(const AlertRequest &request, bool suppressionTicked)
{
    if (request.showSuppression && suppressionTicked) {
        if (request.kind == IgnoredVideoFilesAlert)
            TNUserDefaultsHelper::setShowAlertForIgnoredVideoFiles(false);
        else if (request.kind == LoginErrorAlert)
            TNUserDefaultsHelper::setShowAlertForLoginError(false);
    }
    m_showing = false;
    showNext();
}
