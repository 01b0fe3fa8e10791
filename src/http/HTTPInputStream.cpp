#include "http/HTTPInputStream.h"

#include "http/BandwidthThrottle.h"

#include <QMutex>

namespace {

QMutex &readLock()
{
    static QMutex lock;
    return lock;
}

} // namespace

HTTPInputStream::HTTPInputStream(std::unique_ptr<BodySource> source, BandwidthThrottle &bandwidth,
                                 std::function<void()> throttle)
    : m_source(std::move(source)), m_bandwidth(bandwidth), m_throttle(std::move(throttle))
{}

qint64 HTTPInputStream::read(char *buffer, qint64 maxLength)
{
    qint64 length = maxLength;
    {
        QMutexLocker lock(&readLock());
        if (m_bandwidth.isBandwidthThrottled()) {
            const quint64 budget = m_bandwidth.maxUploadReadLength();
            if (budget <= quint64(maxLength))
                length = budget == 0 ? 1 : qint64(budget);
            if (m_throttle)
                m_throttle();
        }
        // The length asked for is what counts, before the read.
        m_bandwidth.incrementBandwidthUsedInLastSecond(quint64(length));
    }
    return m_source->read(buffer, length);
}
