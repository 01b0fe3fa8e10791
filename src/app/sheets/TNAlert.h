#pragma once

#include "app/sheets/AlertPresenter.h"

#include <QQueue>

// Every alert of the application. Alerts asked for while one is on screen wait their
// turn, so none is lost or overwritten, and each remembers its own kind and box.
class TNAlert
{
public:
    enum Kind : qint32
    {
        IgnoredVideoFilesAlert = 1,
        LoginErrorAlert = 2
    };

    static TNAlert &defaultTNAlert();

    // Not owned; without a presenter alerts wait in the queue.
    void setPresenter(AlertPresenter *presenter);

    void showModalForWindow(QWidget *window, const QString &message, const QString &information,
                            bool showSuppression);
    // The same, as a login-error alert.
    void loginError(QWidget *window, const QString &message, const QString &information,
                    bool showSuppression);

    qint32 lastAction() const { return m_lastAction; }
    void setLastAction(qint32 kind) { m_lastAction = kind; }

    qsizetype pendingCount() const { return m_pending.size() + (m_showing ? 1 : 0); }

private:
    void showNext();
    void alertDidEnd(const AlertRequest &request, bool suppressionTicked);

    AlertPresenter *m_presenter = nullptr;
    QQueue<AlertRequest> m_pending;
    bool m_showing = false;
    qint32 m_lastAction = 0;
};
