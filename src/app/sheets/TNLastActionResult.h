#pragma once

#include <QHash>
#include <QString>

// What the last phase was and what the services reported while it ran. The flows write
// it, the end of a batch and the status line read it. Main thread only.
class TNLastActionResult
{
public:
    enum Action : quint64
    {
        NoAction = 0,
        ImportAction = 1,
        SearchAction = 2,
        DownloadAction = 3,
        ClearAction = 4
    };
    enum LoginState : qint32
    {
        NotRecorded = 0,
        LoggedIn = 1,
        LoginRefused = 2,
        NoConnection = 3,
        AccountNotSent = 4 // the account held what the service cannot receive; see accountProblem
    };

    static TNLastActionResult &defaultActionResult();

    void setLogin(qint32 state, const QString &service) { m_lastLogin.insert(service, state); }
    qint32 lastLoginForService(const QString &service) const
    {
        return m_lastLogin.value(service, NotRecorded);
    }
    void setAccountProblem(const QString &problem, const QString &service)
    {
        setLogin(AccountNotSent, service);
        m_accountProblems.insert(service, problem);
    }
    QString accountProblemForService(const QString &service) const
    {
        return m_accountProblems.value(service);
    }
    void setDownloadLimitReached(bool reached, const QString &service)
    {
        m_lastLimitReached.insert(service, reached);
    }
    bool downloadLimitReachedForService(const QString &service) const
    {
        return m_lastLimitReached.value(service, false);
    }

    quint64 lastAction() const { return m_lastAction; }
    void setLastAction(quint64 action) { m_lastAction = action; }
    qint32 ignoredFiles() const { return m_ignoredFiles; }
    void setIgnoredFiles(qint32 count) { m_ignoredFiles = count; }
    void addIgnoredFile() { ++m_ignoredFiles; }
    // Files and folders the last import could not read or name.
    qint32 unreadableFiles() const { return m_unreadableFiles; }
    void setUnreadableFiles(qint32 count) { m_unreadableFiles = count; }
    void addUnreadableFile() { ++m_unreadableFiles; }
    bool hasCancelled() const { return m_hasCancelled; }
    void setHasCancelled(bool cancelled) { m_hasCancelled = cancelled; }

private:
    QHash<QString, qint32> m_lastLogin;
    QHash<QString, QString> m_accountProblems;
    quint64 m_lastAction = NoAction;
    QHash<QString, bool> m_lastLimitReached;
    qint32 m_ignoredFiles = 0;
    qint32 m_unreadableFiles = 0;
    bool m_hasCancelled = false;
};
