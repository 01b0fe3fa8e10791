#include "http/BandwidthThrottle.h"
#include "http/HTTPInputStream.h"

#include <gtest/gtest.h>

using namespace std::chrono;

namespace {

class BandwidthThrottleTest : public ::testing::Test
{
protected:
    void advance(double secondsToAdd)
    {
        m_now += duration_cast<steady_clock::duration>(duration<double>(secondsToAdd));
    }
    steady_clock::time_point m_now{seconds(1000)};
    BandwidthThrottle m_throttle{[this] { return m_now; }};
};

TEST_F(BandwidthThrottleTest, CountsWithoutLimitAndNeverPauses)
{
    m_throttle.incrementBandwidthUsedInLastSecond(500);
    m_throttle.measureBandwidthUsage(); // first bucket closes at once
    EXPECT_EQ(m_throttle.usageHistory(), QList<quint64>{500});
    m_throttle.incrementBandwidthUsedInLastSecond(300);
    advance(1.0);
    m_throttle.measureBandwidthUsage();
    EXPECT_EQ(m_throttle.usageHistory(), (QList<quint64>{500, 300}));
    EXPECT_EQ(m_throttle.averageBandwidthUsedPerSecond(), 400u);
    EXPECT_EQ(m_throttle.shouldStreamRun(), std::optional<bool>(true));
    EXPECT_EQ(m_throttle.responseReadLength(16384), 16384);
}

TEST_F(BandwidthThrottleTest, HistoryDropsOneCountPerSecondPassedAndResetsWhenIdle)
{
    for (quint64 count : {1, 2, 3, 4, 5, 6, 7}) {
        m_throttle.incrementBandwidthUsedInLastSecond(count);
        m_throttle.measureBandwidthUsage();
        advance(1.0);
    }
    EXPECT_EQ(m_throttle.usageHistory(), (QList<quint64>{2, 3, 4, 5, 6, 7}));
    // Closed 2.5 s after its end: three old counts go first.
    advance(2.5);
    m_throttle.incrementBandwidthUsedInLastSecond(8);
    m_throttle.measureBandwidthUsage();
    EXPECT_EQ(m_throttle.usageHistory(), (QList<quint64>{5, 6, 7, 8}));
    advance(1.5);
    m_throttle.measureBandwidthUsage();
    EXPECT_EQ(m_throttle.usageHistory(), QList<quint64>{0});
    EXPECT_EQ(m_throttle.averageBandwidthUsedPerSecond(), 0u);
}

TEST_F(BandwidthThrottleTest, OverflowSetsTheWakeUpTimeAndBudgets)
{
    m_throttle.setMaxBandwidthPerSecond(1000);
    m_throttle.measureBandwidthUsage();
    const auto bucketEnd = m_now + seconds(1);
    m_throttle.incrementBandwidthUsedInLastSecond(900);
    EXPECT_EQ(m_throttle.maxUploadReadLength(), 100u);
    EXPECT_EQ(m_throttle.responseReadLength(16384), 25);
    m_throttle.incrementBandwidthUsedInLastSecond(600);
    EXPECT_EQ(m_throttle.maxUploadReadLength(), 0u);
    EXPECT_EQ(m_throttle.responseReadLength(16384), 1);
    m_throttle.measureBandwidthUsage();
    EXPECT_EQ(m_throttle.wakeUpTime(), bucketEnd + milliseconds(500));
    EXPECT_EQ(m_throttle.shouldStreamRun(), std::optional<bool>(false));
    advance(1.6);
    EXPECT_EQ(m_throttle.shouldStreamRun(), std::optional<bool>(true));
}

TEST_F(BandwidthThrottleTest, UploadReadsAreCutToTheBudgetAndCounted)
{
    int throttled = 0;
    HTTPInputStream stream(std::make_unique<DataBodySource>(QByteArray(5000, 'x')), m_throttle,
                           [&] { ++throttled; });
    char buffer[4096];
    EXPECT_EQ(stream.read(buffer, sizeof buffer), 4096);
    EXPECT_EQ(throttled, 0);
    m_throttle.setMaxBandwidthPerSecond(1000);
    m_throttle.measureBandwidthUsage();
    EXPECT_EQ(stream.read(buffer, sizeof buffer), 250);
    EXPECT_EQ(throttled, 1);
    m_throttle.incrementBandwidthUsedInLastSecond(10000);
    EXPECT_EQ(stream.read(buffer, sizeof buffer), 1);
    advance(1.0);
    m_throttle.measureBandwidthUsage();
    // The asked length is what counts: 4096, then 250 + 10000 + 1.
    quint64 total = 0;
    for (quint64 count : m_throttle.usageHistory())
        total += count;
    EXPECT_EQ(total, 4096u + 250u + 10000u + 1u);
}

} // namespace
