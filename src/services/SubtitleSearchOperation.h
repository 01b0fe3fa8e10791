#pragma once

#include "platform/Operation.h"
#include "services/SubtitleSearchProtocol.h"
#include "services/VideoFileSearchDictionary.h"

#include <QPointer>
#include <QSet>
#include <QStringList>

// A search of one service for a list of videos, run once on the controller's queue. It
// reports through the notify calls, which hand the report to the delegate on the main
// thread without waiting; reports arrive in the order they were made.
class SubtitleSearchOperation : public Operation
{
    Q_OBJECT

public:
    SubtitleSearchOperation(VideoFileSearchList files, QStringList languages, QString service);

    const VideoFileSearchList &files() const { return m_files; }
    const QStringList &languages() const { return m_languages; }
    const QString &username() const { return m_username; }
    void setUsername(const QString &username) { m_username = username; }
    const QString &password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }

    // Not owned. A delegate that is a QObject and dies first gets no further reports.
    SubtitleSearchProtocol *delegate() const { return m_delegate; }
    void setDelegate(SubtitleSearchProtocol *delegate);

    bool shouldCancel() const { return isCancelled(); }

protected:
    void notifyLogin();
    void notifyFailWithLogin();
    void notifyFail();
    void notifyAccountProblem(const QString &problem);
    void notifyReceivedSubtitles(const RemoteSubtitles &subtitles);
    void notifyFinished(bool cancelled);
    // Reports a client's login result (0 logged in, 1 refused, LoginAccountNotSent for the
    // reason in accountProblem, else no connection); answers whether the search may go on.
    bool notifyLoginResult(int result, const QString &accountProblem = QString());

    void setServicename(const QString &service) { m_servicename = service; }
    const QString &servicename() const { return m_servicename; }

    // Hash texts of the videos that already have results.
    QSet<QString> m_hashFoundSet;

private:
    void deliver(std::function<void(SubtitleSearchProtocol &)> report);

    VideoFileSearchList m_files;
    QStringList m_languages;
    QString m_username;
    QString m_password;
    QString m_servicename;
    SubtitleSearchProtocol *m_delegate = nullptr;
    QPointer<QObject> m_delegateObject;
    bool m_delegateIsObject = false;
};
