#include "platform/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <semaphore>

TEST(WorkerPool, StaysWithinTheLimitAndRunsEverything)
{
    std::atomic<int> ran{0};
    std::counting_semaphore<> done{0};
    {
        WorkerPool pool;
        for (int i = 0; i < 3; ++i) {
            pool.start([&] {
                ++ran;
                done.release();
            });
            done.acquire();
        }
        EXPECT_EQ(pool.threadCount(), 1);

        pool.setMaxThreadCount(2);
        // Two blocked tasks take both threads; the third waits for one of them.
        std::counting_semaphore<> gate{0};
        for (int i = 0; i < 3; ++i) {
            pool.start([&] {
                gate.acquire();
                ++ran;
            });
        }
        EXPECT_EQ(pool.threadCount(), 2);
        gate.release(3);
    }
    // Destruction ran what was still queued and joined every thread.
    EXPECT_EQ(ran.load(), 6);
}
