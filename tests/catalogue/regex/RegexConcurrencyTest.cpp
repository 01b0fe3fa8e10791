#include "catalogue/regex/RegexAdditions.h"
#include "catalogue/regex/RegexCache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace rx;

// Eight threads share the cache with more distinct patterns than it holds, so that
// patterns are evicted while others use the cache; blocks re-enter the library.
TEST(RegexConcurrency, ThreadsShareTheCacheSafely)
{
    constexpr int Threads = 8;
    constexpr int Patterns = 3 * RegexCache::DefaultCapacity;
    constexpr int Rounds = 150;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int round = 0; round < Rounds; ++round) {
                const int n = (round * 7 + t * 13) % Patterns;
                const QString regex = QStringLiteral("k%1=(\\d+)(x)?").arg(n);
                const QString subject = QStringLiteral("k%1=%2 k%1=7x").arg(n).arg(round);
                const auto matches = arrayOfCaptureComponentsMatchedByRegex(subject, regex);
                if (!matches || matches->size() != 2 ||
                    matches->at(0) !=
                        QStringList({subject.section(' ', 0, 0), QString::number(round), ""}) ||
                    matches->at(1).at(2) != QStringLiteral("x"))
                    ++wrong;
                QString receiver = subject;
                if (replaceOccurrencesOfRegex(receiver, regex, QStringLiteral("<$1>")) != 2 ||
                    receiver != QStringLiteral("<%1> <7>").arg(round))
                    ++wrong;
                int inner = 0;
                enumerateStringsMatchedByRegex(
                    subject, regex,
                    [&](qsizetype, const QStringList *strings, const QList<Range> &, bool &) {
                        inner += isMatchedByRegex(strings->first(), regex) ? 1 : 0;
                    });
                if (inner != 2)
                    ++wrong;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(RegexConcurrency, ClearingTheCacheWhileOthersMatch)
{
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::thread clearer([&] {
        while (!done)
            clearStringCache();
    });
    std::vector<std::thread> matchers;
    for (int t = 0; t < 4; ++t) {
        matchers.emplace_back([t, &wrong] {
            for (int round = 0; round < 300; ++round) {
                const QString regex = QStringLiteral("(a+)b{%1}").arg(t + 1);
                const QString subject = QStringLiteral("xaa") + QString(t + 1, QLatin1Char('b'));
                if (rangeOfRegex(subject, regex, 1) != Range(1, 2))
                    ++wrong;
            }
        });
    }
    for (std::thread &thread : matchers)
        thread.join();
    done = true;
    clearer.join();
    EXPECT_EQ(wrong.load(), 0);
}
