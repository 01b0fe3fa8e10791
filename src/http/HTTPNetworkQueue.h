#pragma once

#include "http/SelectorResponder.h"
#include "platform/OperationQueue.h"

#include <QByteArray>
#include <QMutex>
#include <QPointer>
#include <QVariantMap>

#include <memory>

class HTTPRequest;

// A queue of HTTP requests with one delegate for all of them, progress summed over the
// whole queue, optional HEAD pre-requests that learn each download's size first, and the
// rest cancelled once one fails. It starts suspended (go() lets it run) and runs at most 4
// requests at once. The delegate's methods, named by the selectors, take (HTTPRequest*) or,
// for the end of the queue, (HTTPNetworkQueue*). Use it from the main thread, where the
// requests report to it.
class HTTPNetworkQueue : public OperationQueue, public SelectorResponder
{
    Q_OBJECT

public:
    static inline const QString AttemptToAddInvalidRequest =
        QStringLiteral("AttemptToAddInvalidRequest");

    static std::unique_ptr<HTTPNetworkQueue> queue();
    explicit HTTPNetworkQueue(QObject *parent = nullptr);
    ~HTTPNetworkQueue() override;

    // A new queue with this one's delegate, selectors (but the headers one), progress
    // receivers, switches and user info; no requests and no counts.
    std::unique_ptr<HTTPNetworkQueue> copy() const;

    void go();
    // Cancels everything and forgets the delegate, the receivers and the selectors; the queue
    // is suspended again. The counts stay.
    void reset();
    // Zeroes the byte counts, then cancels: each request still running fails with code 4.
    void cancelAllOperations() override;
    // Throws Exception named AttemptToAddInvalidRequest for anything but an HTTPRequest, and
    // Exception::InvalidArgument for a request that cannot be queued; nothing is counted then.
    void addOperation(const std::shared_ptr<Operation> &operation) override;
    // Queues a HEAD pre-request ahead of everything, without counting it.
    void addHEADOperation(const std::shared_ptr<HTTPRequest> &request);

    QObject *delegate() const;
    void setDelegate(QObject *delegate);
    QByteArray requestDidStartSelector() const { return m_requestDidStartSelector; }
    void setRequestDidStartSelector(const QByteArray &name) { m_requestDidStartSelector = name; }
    QByteArray requestDidReceiveResponseHeadersSelector() const
    {
        return m_requestDidReceiveResponseHeadersSelector;
    }
    void setRequestDidReceiveResponseHeadersSelector(const QByteArray &name)
    {
        m_requestDidReceiveResponseHeadersSelector = name;
    }
    QByteArray requestDidFinishSelector() const { return m_requestDidFinishSelector; }
    void setRequestDidFinishSelector(const QByteArray &name) { m_requestDidFinishSelector = name; }
    QByteArray requestDidFailSelector() const { return m_requestDidFailSelector; }
    void setRequestDidFailSelector(const QByteArray &name) { m_requestDidFailSelector = name; }
    QByteArray queueDidFinishSelector() const { return m_queueDidFinishSelector; }
    void setQueueDidFinishSelector(const QByteArray &name) { m_queueDidFinishSelector = name; }

    QObject *uploadProgressDelegate() const { return m_uploadProgressDelegate; }
    void setUploadProgressDelegate(QObject *receiver);
    QObject *downloadProgressDelegate() const { return m_downloadProgressDelegate; }
    void setDownloadProgressDelegate(QObject *receiver);

    quint64 bytesUploadedSoFar() const { return m_bytesUploadedSoFar; }
    quint64 totalBytesToUpload() const { return m_totalBytesToUpload; }
    quint64 bytesDownloadedSoFar() const { return m_bytesDownloadedSoFar; }
    quint64 totalBytesToDownload() const { return m_totalBytesToDownload; }
    int requestsCount() const { return m_requestsCount; }
    bool shouldCancelAllRequestsOnFailure() const { return m_shouldCancelAllRequestsOnFailure; }
    void setShouldCancelAllRequestsOnFailure(bool value)
    {
        m_shouldCancelAllRequestsOnFailure = value;
    }
    bool showAccurateProgress() const { return m_showAccurateProgress; }
    void setShowAccurateProgress(bool value) { m_showAccurateProgress = value; }
    QVariantMap userInfo() const { return m_userInfo; }
    void setUserInfo(const QVariantMap &info) { m_userInfo = info; }

    // The authentication questions count as answered only when the delegate answers them.
    bool respondsToSelector(const QByteArray &name) const override;

public Q_SLOTS:
    void requestStarted(HTTPRequest *request);
    void requestReceivedResponseHeaders(HTTPRequest *request);
    void requestFinished(HTTPRequest *request);
    void requestFailed(HTTPRequest *request);
    void requestDidReceiveBytes(HTTPRequest *request, qint64 bytes);
    void requestDidSendBytes(HTTPRequest *request, qint64 bytes);
    void requestIncrementDownloadSizeBy(HTTPRequest *request, qint64 amount);
    void requestIncrementUploadSizeBy(HTTPRequest *request, qint64 amount);
    void authenticationNeededForRequest(HTTPRequest *request);
    void proxyAuthenticationNeededForRequest(HTTPRequest *request);

private:
    static void resetProgressDelegate(QObject *receiver);
    void tellDelegate(const QByteArray &selector, HTTPRequest *request) const;
    void requestEnded(HTTPRequest *request, const QByteArray &selector);

    mutable QMutex m_delegateLock;
    QPointer<QObject> m_delegate;
    QByteArray m_requestDidStartSelector;
    QByteArray m_requestDidReceiveResponseHeadersSelector;
    QByteArray m_requestDidFinishSelector;
    QByteArray m_requestDidFailSelector;
    QByteArray m_queueDidFinishSelector;
    QPointer<QObject> m_uploadProgressDelegate;
    QPointer<QObject> m_downloadProgressDelegate;
    quint64 m_bytesUploadedSoFar = 0;
    quint64 m_totalBytesToUpload = 0;
    quint64 m_bytesDownloadedSoFar = 0;
    quint64 m_totalBytesToDownload = 0;
    bool m_shouldCancelAllRequestsOnFailure = true;
    int m_requestsCount = 0;
    bool m_showAccurateProgress = false;
    QVariantMap m_userInfo;
};
