// The progress-reporting half of HTTPRequest: byte counts for its queue, fractions for its
// progress delegates, all delivered on the main thread.
#include "http/HTTPRequest.h"

#include "http/SelectorCall.h"

#include "platform/MainThread.h"

#include <algorithm>
#include <mutex>

namespace {

std::recursive_mutex &progressLock()
{
    static std::recursive_mutex lock;
    return lock;
}

} // namespace

QPointer<QObject> HTTPRequest::listenerSlot(Listener listener) const
{
    QMutexLocker lock(&m_cancelledLock);
    return listener == Listener::Queue    ? m_queue
           : listener == Listener::Upload ? m_uploadProgressDelegate
                                          : m_downloadProgressDelegate;
}

template <typename Call> void HTTPRequest::deliverToListener(Listener listener, Call call)
{
    // With nobody listening nothing goes to the main thread: a request makes several updates,
    // each of which would otherwise cost the main thread a turn.
    if (!listenerSlot(listener))
        return;
    // The pending call keeps the request alive and reads the slot again when it runs, so a
    // listener removed (or destroyed) meanwhile hears nothing.
    auto deliver = [me = self(), listener, call = std::move(call)] {
        if (const QPointer<QObject> receiver = me->listenerSlot(listener))
            call(receiver.data());
    };
    if (MainThread::isCurrent())
        deliver();
    else
        MainThread::post(std::move(deliver));
}

void HTTPRequest::tellListeners(Listener delegate, const char *name, qint64 amount)
{
    for (const Listener listener : {Listener::Queue, delegate}) {
        deliverToListener(listener, [me = this, name, amount](QObject *to) {
            const int index = SelectorCall::methodIndex(to, name, "HTTPRequest*,qint64");
            if (index >= 0)
                to->metaObject()->method(index).invoke(
                    to, Qt::DirectConnection, Q_ARG(HTTPRequest *, me), Q_ARG(qint64, amount));
        });
    }
}

void HTTPRequest::updateProgressIndicator(Listener listener, qint64 progress, qint64 total)
{
    // Nothing to divide by until the end; then the whole bar.
    double fraction = 1.0;
    if (total > 0)
        fraction = std::clamp(double(progress) / double(total), 0.0, 1.0);
    else if (!m_complete)
        return;
    QMutexLocker lock(&progressLock());
    deliverToListener(listener, [fraction](QObject *to) {
        if (SelectorCall::methodIndex(to, "setDoubleValue", "double") >= 0)
            QMetaObject::invokeMethod(to, "setDoubleValue", Qt::DirectConnection,
                                      Q_ARG(double, fraction));
    });
}

void HTTPRequest::incrementDownloadSizeBy(qint64 amount)
{
    tellListeners(Listener::Download, "requestIncrementDownloadSizeBy", amount);
}

void HTTPRequest::incrementUploadSizeBy(qint64 amount)
{
    tellListeners(Listener::Upload, "requestIncrementUploadSizeBy", amount);
}

void HTTPRequest::removeUploadProgressSoFar()
{
    tellListeners(Listener::Upload, "requestDidSendBytes", -qint64(m_totalBytesSent));
    updateProgressIndicator(Listener::Upload, 0, qint64(m_postLength));
}

void HTTPRequest::resetProgress()
{
    if (!m_mainRequest.expired())
        return;
    if (m_shouldResetUploadProgress) {
        incrementUploadSizeBy(m_showAccurateProgress ? qint64(m_postLength) : 1);
        updateProgressIndicator(Listener::Upload, 0, 1);
    }
    if (m_shouldResetDownloadProgress && m_partialDownloadSize == 0)
        updateProgressIndicator(Listener::Download, 0, 1);
}

void HTTPRequest::updateProgressIndicators()
{
    if (!m_mainRequest.expired())
        return;
    if (m_showAccurateProgress || (m_complete && !m_updatedProgress)) {
        updateUploadProgress();
        updateDownloadProgress();
    }
}

void HTTPRequest::updateUploadProgress()
{
    if (m_cancelled || m_totalBytesSent == 0)
        return;
    qint64 amount = 1;
    if (m_showAccurateProgress) {
        amount = m_totalBytesSent < m_postLength && m_lastBytesSent == 0
                     ? 0
                     : qint64(m_totalBytesSent) - qint64(m_lastBytesSent);
    } else {
        m_updatedProgress = true;
    }
    if (amount != 0)
        tellListeners(Listener::Upload, "requestDidSendBytes", amount);
    // A retry can start below the first run's buffer size; signed maths keeps that sane.
    updateProgressIndicator(Listener::Upload, qint64(m_totalBytesSent) - qint64(m_uploadBufferSize),
                            qint64(m_postLength) - qint64(m_uploadBufferSize));
}

void HTTPRequest::updateDownloadProgress()
{
    if (!m_responseHeaders || m_needsRedirect)
        return;
    if (m_contentLength == 0 && !m_complete)
        return;
    const quint64 value = m_totalBytesRead + m_partialDownloadSize;
    qint64 amount = 1;
    if (m_showAccurateProgress && m_contentLength > 0)
        amount = qint64(value) - qint64(m_lastBytesRead);
    else
        m_updatedProgress = true;
    if (amount != 0)
        tellListeners(Listener::Download, "requestDidReceiveBytes", amount);
    updateProgressIndicator(Listener::Download, qint64(value),
                            qint64(m_contentLength + m_partialDownloadSize));
    m_lastBytesRead = value;
}
