#include "http/BandwidthThrottle.h"

#include <QMutexLocker>

using namespace std::chrono;

BandwidthThrottle &BandwidthThrottle::shared()
{
    static BandwidthThrottle throttle;
    return throttle;
}

BandwidthThrottle::BandwidthThrottle(Clock clock) : m_clock(std::move(clock)) {}

quint64 BandwidthThrottle::maxBandwidthPerSecond() const
{
    QMutexLocker lock(&m_lock);
    return m_limit;
}

void BandwidthThrottle::setMaxBandwidthPerSecond(quint64 bytes)
{
    QMutexLocker lock(&m_lock);
    m_limit = bytes;
}

bool BandwidthThrottle::isBandwidthThrottled() const
{
    QMutexLocker lock(&m_lock);
    return m_limit > 0;
}

void BandwidthThrottle::incrementBandwidthUsedInLastSecond(quint64 bytes)
{
    QMutexLocker lock(&m_lock);
    m_bucketCount += bytes;
}

quint64 BandwidthThrottle::averageBandwidthUsedPerSecond() const
{
    QMutexLocker lock(&m_lock);
    return m_average;
}

QList<quint64> BandwidthThrottle::usageHistory() const
{
    QMutexLocker lock(&m_lock);
    return m_history;
}

std::optional<BandwidthThrottle::TimePoint> BandwidthThrottle::wakeUpTime() const
{
    QMutexLocker lock(&m_lock);
    return m_wakeUp;
}

double BandwidthThrottle::secondsUntil(TimePoint moment) const
{
    return duration<double>(moment - m_clock()).count();
}

void BandwidthThrottle::recordBandwidthUsage()
{
    if (m_bucketCount == 0) {
        m_history.clear();
    } else {
        // One old count goes for each whole or begun second since the bucket ended.
        double t = m_bucketEnd ? secondsUntil(*m_bucketEnd) : 0.0;
        while (!m_history.isEmpty() && (t < 0 || m_history.size() >= HistoryLength)) {
            m_history.removeFirst();
            t += 1.0;
        }
    }
    m_history.append(m_bucketCount);
    m_bucketEnd = m_clock() + duration_cast<steady_clock::duration>(seconds(1));
    m_bucketCount = 0;
    quint64 sum = 0;
    for (quint64 count : m_history)
        sum += count;
    m_average = sum / quint64(m_history.size());
}

void BandwidthThrottle::measureBandwidthUsage()
{
    QMutexLocker lock(&m_lock);
    if (!m_bucketEnd || secondsUntil(*m_bucketEnd) <= 0)
        recordBandwidthUsage();
    if (m_limit > 0 && m_bucketCount > m_limit) {
        const double over = double(m_bucketCount - m_limit) / double(m_limit);
        m_wakeUp = *m_bucketEnd + duration_cast<steady_clock::duration>(duration<double>(over));
    }
}

quint64 BandwidthThrottle::maxUploadReadLength()
{
    QMutexLocker lock(&m_lock);
    qint64 budget = qint64(m_limit / 4);
    if (m_limit > 0 && m_bucketCount + quint64(budget) > m_limit)
        budget = qMax<qint64>(qint64(m_limit) - qint64(m_bucketCount), 0);
    if (budget == 0 || !m_bucketEnd || secondsUntil(*m_bucketEnd) <= 0)
        m_wakeUp = m_bucketEnd;
    return quint64(budget);
}

qint64 BandwidthThrottle::responseReadLength(qint64 unthrottledSize) const
{
    QMutexLocker lock(&m_lock);
    if (m_limit == 0)
        return unthrottledSize;
    const qint64 budget = qint64(m_limit) - qint64(m_bucketCount);
    const qint64 length = budget >= 0 ? qMin(budget / 4, unthrottledSize) : 1;
    return qMax<qint64>(length, 1);
}

std::optional<bool> BandwidthThrottle::shouldStreamRun()
{
    measureBandwidthUsage();
    QMutexLocker lock(&m_lock);
    if (m_limit == 0)
        return true;
    if (!m_wakeUp)
        return std::nullopt;
    return secondsUntil(*m_wakeUp) <= 0;
}
