#include "http/HTTPNetworkQueue.h"

#include "http/HTTPRequest.h"
#include "http/ProgressIndicator.h"
#include "http/SelectorCall.h"

#include "platform/Exception.h"

namespace {

const QByteArray AuthenticationQuestion = "authenticationNeededForRequest";
const QByteArray ProxyAuthenticationQuestion = "proxyAuthenticationNeededForRequest";

} // namespace

std::unique_ptr<HTTPNetworkQueue> HTTPNetworkQueue::queue()
{
    return std::make_unique<HTTPNetworkQueue>();
}

HTTPNetworkQueue::HTTPNetworkQueue(QObject *parent) : OperationQueue(parent)
{
    setMaxConcurrentOperationCount(4);
    setSuspended(true);
}

HTTPNetworkQueue::~HTTPNetworkQueue()
{
    // The requests outlive this part of the queue; what they report now must go nowhere.
    for (const std::shared_ptr<Operation> &operation : operations()) {
        if (const auto request = std::dynamic_pointer_cast<HTTPRequest>(operation))
            request->setQueue(nullptr);
    }
}

std::unique_ptr<HTTPNetworkQueue> HTTPNetworkQueue::copy() const
{
    auto made = std::make_unique<HTTPNetworkQueue>();
    made->setDelegate(delegate());
    made->m_requestDidStartSelector = m_requestDidStartSelector;
    made->m_requestDidFinishSelector = m_requestDidFinishSelector;
    made->m_requestDidFailSelector = m_requestDidFailSelector;
    made->m_queueDidFinishSelector = m_queueDidFinishSelector;
    made->setUploadProgressDelegate(m_uploadProgressDelegate);
    made->setDownloadProgressDelegate(m_downloadProgressDelegate);
    made->m_shouldCancelAllRequestsOnFailure = m_shouldCancelAllRequestsOnFailure;
    made->m_showAccurateProgress = m_showAccurateProgress;
    made->m_userInfo = m_userInfo;
    return made;
}

void HTTPNetworkQueue::go()
{
    setSuspended(false);
}

void HTTPNetworkQueue::reset()
{
    cancelAllOperations();
    setDelegate(nullptr);
    m_uploadProgressDelegate = nullptr;
    m_downloadProgressDelegate = nullptr;
    m_requestDidStartSelector.clear();
    m_requestDidReceiveResponseHeadersSelector.clear();
    m_requestDidFinishSelector.clear();
    m_requestDidFailSelector.clear();
    m_queueDidFinishSelector.clear();
    setSuspended(true);
}

void HTTPNetworkQueue::cancelAllOperations()
{
    m_bytesUploadedSoFar = 0;
    m_totalBytesToUpload = 0;
    m_bytesDownloadedSoFar = 0;
    m_totalBytesToDownload = 0;
    OperationQueue::cancelAllOperations();
}

void HTTPNetworkQueue::addOperation(const std::shared_ptr<Operation> &operation)
{
    const auto request = std::dynamic_pointer_cast<HTTPRequest>(operation);
    if (!request)
        throw Exception(
            AttemptToAddInvalidRequest,
            QStringLiteral(
                "Attempted to add an object that was not an HTTPRequest to an HTTPNetworkQueue"));
    ++m_requestsCount;
    QObject *const previousQueue = request->queue();
    const bool resetUpload = request->shouldResetUploadProgress();
    const bool resetDownload = request->shouldResetDownloadProgress();
    const bool accurate = request->showAccurateProgress();
    // Set first, so that a body that fails to build reports to this queue, which counts it.
    request->setQueue(this);

    std::shared_ptr<HTTPRequest> head;
    quint64 uploadSize = 1;
    quint64 downloadSize = 0;
    if (m_showAccurateProgress) {
        request->buildPostBody();
        if (request->requestMethod() == QLatin1String("GET") && isSuspended()) {
            head = request->HEADRequest();
            request->addDependency(head);
        }
        if (resetDownload) {
            resetProgressDelegate(m_downloadProgressDelegate);
            request->setShouldResetDownloadProgress(false);
        }
        uploadSize = request->postLength();
    } else {
        downloadSize = 1;
    }
    m_totalBytesToDownload += downloadSize;
    m_totalBytesToUpload += uploadSize;
    if (resetUpload) {
        resetProgressDelegate(m_uploadProgressDelegate);
        request->setShouldResetUploadProgress(false);
    }
    request->setShowAccurateProgress(m_showAccurateProgress);
    try {
        OperationQueue::addOperation(request);
    } catch (...) {
        --m_requestsCount;
        m_totalBytesToDownload -= downloadSize;
        m_totalBytesToUpload -= uploadSize;
        if (head)
            request->removeDependency(head);
        request->setQueue(previousQueue);
        request->setShouldResetUploadProgress(resetUpload);
        request->setShouldResetDownloadProgress(resetDownload);
        request->setShowAccurateProgress(accurate);
        throw;
    }
    if (head)
        addHEADOperation(head);
}

void HTTPNetworkQueue::addHEADOperation(const std::shared_ptr<HTTPRequest> &request)
{
    request->setRequestMethod(QStringLiteral("HEAD"));
    request->setQueuePriority(Operation::QueuePriority::VeryHigh);
    request->setShowAccurateProgress(true);
    request->setQueue(this);
    OperationQueue::addOperation(request);
}

QObject *HTTPNetworkQueue::delegate() const
{
    QMutexLocker lock(&m_delegateLock);
    return m_delegate;
}

void HTTPNetworkQueue::setDelegate(QObject *delegate)
{
    QMutexLocker lock(&m_delegateLock);
    m_delegate = delegate;
}

void HTTPNetworkQueue::setUploadProgressDelegate(QObject *receiver)
{
    m_uploadProgressDelegate = receiver;
    resetProgressDelegate(receiver);
}

void HTTPNetworkQueue::setDownloadProgressDelegate(QObject *receiver)
{
    m_downloadProgressDelegate = receiver;
    resetProgressDelegate(receiver);
}

void HTTPNetworkQueue::resetProgressDelegate(QObject *receiver)
{
    ProgressIndicator::setMaxValue(receiver, 1.0);
    ProgressIndicator::setDoubleValue(receiver, 0.0);
}

bool HTTPNetworkQueue::respondsToSelector(const QByteArray &name) const
{
    if (name != AuthenticationQuestion && name != ProxyAuthenticationQuestion)
        return true;
    QObject *const receiver = delegate();
    return receiver && SelectorCall::methodIndex(receiver, name, "HTTPRequest*") >= 0;
}

void HTTPNetworkQueue::tellDelegate(const QByteArray &selector, HTTPRequest *request) const
{
    if (QObject *const receiver = delegate(); receiver && !selector.isEmpty())
        SelectorCall::invoke(receiver, selector, request);
}

void HTTPNetworkQueue::requestStarted(HTTPRequest *request)
{
    tellDelegate(m_requestDidStartSelector, request);
}

void HTTPNetworkQueue::requestReceivedResponseHeaders(HTTPRequest *request)
{
    tellDelegate(m_requestDidReceiveResponseHeadersSelector, request);
}

void HTTPNetworkQueue::requestFinished(HTTPRequest *request)
{
    requestEnded(request, m_requestDidFinishSelector);
}

void HTTPNetworkQueue::requestFailed(HTTPRequest *request)
{
    requestEnded(request, m_requestDidFailSelector);
    // Each cancelled request fails in turn and comes back here with a smaller count.
    if (m_shouldCancelAllRequestsOnFailure && m_requestsCount > 0)
        cancelAllOperations();
}

void HTTPNetworkQueue::requestEnded(HTTPRequest *request, const QByteArray &selector)
{
    --m_requestsCount;
    tellDelegate(selector, request);
    QObject *const receiver = delegate();
    if (m_requestsCount == 0 && receiver && !m_queueDidFinishSelector.isEmpty())
        SelectorCall::invoke(receiver, m_queueDidFinishSelector, this);
}

void HTTPNetworkQueue::requestDidReceiveBytes(HTTPRequest *, qint64 bytes)
{
    // Amounts may be negative; unsigned sums wrap and come out right.
    m_bytesDownloadedSoFar += quint64(bytes);
    ProgressIndicator::update(m_downloadProgressDelegate, m_bytesDownloadedSoFar,
                              m_totalBytesToDownload);
}

void HTTPNetworkQueue::requestDidSendBytes(HTTPRequest *, qint64 bytes)
{
    m_bytesUploadedSoFar += quint64(bytes);
    ProgressIndicator::update(m_uploadProgressDelegate, m_bytesUploadedSoFar, m_totalBytesToUpload);
}

void HTTPNetworkQueue::requestIncrementDownloadSizeBy(HTTPRequest *, qint64 amount)
{
    m_totalBytesToDownload += quint64(amount);
}

void HTTPNetworkQueue::requestIncrementUploadSizeBy(HTTPRequest *, qint64 amount)
{
    m_totalBytesToUpload += quint64(amount);
}

void HTTPNetworkQueue::authenticationNeededForRequest(HTTPRequest *request)
{
    tellDelegate(AuthenticationQuestion, request);
}

void HTTPNetworkQueue::proxyAuthenticationNeededForRequest(HTTPRequest *request)
{
    tellDelegate(ProxyAuthenticationQuestion, request);
}
