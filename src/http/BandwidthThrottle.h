#pragma once

#include <QList>
#include <QMutex>

#include <chrono>
#include <functional>
#include <optional>

// Counts the bytes all requests send and receive in one-second buckets and, while a limit is
// set, says when streams must pause and how much an upload may read. Safe from any thread.
class BandwidthThrottle
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Clock = std::function<TimePoint()>;
    static constexpr int HistoryLength = 6;

    // The one instance every request shares.
    static BandwidthThrottle &shared();

    explicit BandwidthThrottle(Clock clock = &std::chrono::steady_clock::now);

    quint64 maxBandwidthPerSecond() const;
    // 0 turns throttling off.
    void setMaxBandwidthPerSecond(quint64 bytes);
    bool isBandwidthThrottled() const;
    void incrementBandwidthUsedInLastSecond(quint64 bytes);
    quint64 averageBandwidthUsedPerSecond() const;
    QList<quint64> usageHistory() const;
    std::optional<TimePoint> wakeUpTime() const;

    // Closes the bucket once its second is over and sets the wake-up time when it overflowed.
    void measureBandwidthUsage();
    // How many bytes an upload may read now; may move the wake-up time to the bucket end.
    quint64 maxUploadReadLength();
    // How many bytes one response read may take, given the size it would take unthrottled.
    qint64 responseReadLength(qint64 unthrottledSize) const;
    // After measuring: whether a throttled stream should run now (nullopt: leave it as it is).
    std::optional<bool> shouldStreamRun();

private:
    void recordBandwidthUsage();
    double secondsUntil(TimePoint moment) const;

    Clock m_clock;
    mutable QMutex m_lock;
    quint64 m_limit = 0;
    quint64 m_bucketCount = 0;
    std::optional<TimePoint> m_bucketEnd;
    QList<quint64> m_history;
    quint64 m_average = 0;
    std::optional<TimePoint> m_wakeUp;
};
