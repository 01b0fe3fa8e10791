#include "services/SubtitleSearchOperation.h"

#include <QCoreApplication>
#include <QMetaObject>

SubtitleSearchOperation::SubtitleSearchOperation(VideoFileSearchList files, QStringList languages,
                                                 QString service)
    : m_files(std::move(files)), m_languages(std::move(languages)),
      m_servicename(std::move(service))
{
    m_hashFoundSet.reserve(10);
}

void SubtitleSearchOperation::setDelegate(SubtitleSearchProtocol *delegate)
{
    m_delegate = delegate;
    m_delegateObject = dynamic_cast<QObject *>(delegate);
    m_delegateIsObject = !m_delegateObject.isNull();
}

void SubtitleSearchOperation::deliver(std::function<void(SubtitleSearchProtocol &)> report)
{
    if (!m_delegate || (m_delegateIsObject && !m_delegateObject))
        return;
    // Posted events die with their receiver, so a QObject delegate that is gone gets nothing.
    QObject *receiver = m_delegateIsObject ? m_delegateObject.data() : QCoreApplication::instance();
    QMetaObject::invokeMethod(
        receiver, [delegate = m_delegate, report = std::move(report)] { report(*delegate); },
        Qt::QueuedConnection);
}

void SubtitleSearchOperation::notifyLogin()
{
    deliver([service = m_servicename](SubtitleSearchProtocol &d) { d.didLogin(service); });
}

void SubtitleSearchOperation::notifyFailWithLogin()
{
    deliver(
        [service = m_servicename](SubtitleSearchProtocol &d) { d.didFailWithLoginError(service); });
}

void SubtitleSearchOperation::notifyFail()
{
    deliver([service = m_servicename](SubtitleSearchProtocol &d) { d.didFailWithError(service); });
}

void SubtitleSearchOperation::notifyAccountProblem(const QString &problem)
{
    deliver([service = m_servicename, problem](SubtitleSearchProtocol &d) {
        d.didFailWithAccountProblem(service, problem);
    });
}

void SubtitleSearchOperation::notifyReceivedSubtitles(const RemoteSubtitles &subtitles)
{
    deliver([subtitles](SubtitleSearchProtocol &d) { d.didReceiveSubtitles(subtitles); });
}

void SubtitleSearchOperation::notifyFinished(bool cancelled)
{
    deliver([cancelled](SubtitleSearchProtocol &d) { d.didFinished(cancelled); });
}

bool SubtitleSearchOperation::notifyLoginResult(int result, const QString &accountProblem)
{
    switch (result) {
    case 0:
        notifyLogin();
        return true;
    case 1:
        notifyFailWithLogin();
        return false;
    case LoginAccountNotSent:
        notifyAccountProblem(accountProblem);
        return false;
    default:
        notifyFail();
        return false;
    }
}
