#include "OperationTestSupport.h"

#include "common/TestSupport.h"
#include "platform/Exception.h"
#include "platform/MainThread.h"
#include "platform/OperationQueue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <memory>
#include <stdexcept>
#include <thread>

using TestSupport::waitUntil;

namespace {

std::shared_ptr<TestOperation>
makeOperation(TestOperation::Body body = {},
              Operation::QueuePriority priority = Operation::QueuePriority::Normal)
{
    auto operation = std::make_shared<TestOperation>(std::move(body));
    operation->setQueuePriority(priority);
    return operation;
}

} // namespace

TEST(OperationQueue, ConcurrencyLimitHoldsUnderLoad)
{
    for (const int limit : {1, 3, 5}) {
        SCOPED_TRACE(limit);
        constexpr int total = 24;
        OperationQueue queue;
        queue.setMaxConcurrentOperationCount(limit);
        ConcurrencyProbe probe;
        for (int i = 0; i < total; ++i)
            queue.addOperation(makeOperation(probe.body()));
        for (int released = 0; released < total; ++released) {
            ASSERT_TRUE(waitUntil([&] {
                return probe.started == std::min(total, released + limit) &&
                       probe.running == std::min(limit, total - released);
            }));
            probe.gate.release();
        }
        queue.waitUntilAllOperationsAreFinished();
        EXPECT_EQ(probe.peak.load(), limit);
        EXPECT_EQ(probe.started.load(), total);
        EXPECT_EQ(queue.operationCount(), 0);
    }
}

TEST(OperationQueue, LimitChangesWhileRunning)
{
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(1);
    ConcurrencyProbe probe;
    for (int i = 0; i < 6; ++i)
        queue.addOperation(makeOperation(probe.body()));
    ASSERT_TRUE(waitUntil([&] { return probe.running == 1; }));

    queue.setMaxConcurrentOperationCount(3);
    ASSERT_TRUE(waitUntil([&] { return probe.running == 3; }));

    // Lowering stops nothing; the next start waits until only one would run.
    queue.setMaxConcurrentOperationCount(1);
    EXPECT_EQ(queue.maxConcurrentOperationCount(), 1);
    probe.gate.release(6);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(probe.runningAtStart, (QList<int>{1, 2, 3, 1, 1, 1}));
}

TEST(OperationQueue, PriorityDependenciesAndSuspension)
{
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(1);
    queue.setSuspended(true);
    RunOrder order;
    using P = Operation::QueuePriority;
    auto veryLow = makeOperation(order.body(QStringLiteral("veryLow")), P::VeryLow);
    auto waitsForVeryLow =
        makeOperation(order.body(QStringLiteral("waitsForVeryLow")), P::VeryHigh);
    waitsForVeryLow->addDependency(veryLow);
    auto outside = makeOperation(order.body(QStringLiteral("outside")));
    auto waitsForOutside = makeOperation(order.body(QStringLiteral("waitsForOutside")), P::High);
    waitsForOutside->addDependency(outside);
    auto normal = makeOperation(order.body(QStringLiteral("normal")));
    auto high1 = makeOperation(order.body(QStringLiteral("high1")), P::High);
    auto high2 = makeOperation(order.body(QStringLiteral("high2")), P::High);
    for (const auto &operation : {waitsForVeryLow, veryLow, waitsForOutside, normal, high1, high2})
        queue.addOperation(operation);
    EXPECT_TRUE(queue.isSuspended());
    EXPECT_EQ(queue.operationCount(), 6);

    queue.setSuspended(false);
    ASSERT_TRUE(waitUntil([&] { return queue.operationCount() == 1; }));
    EXPECT_EQ(order.snapshot(), (QStringList{QStringLiteral("high1"), QStringLiteral("high2"),
                                             QStringLiteral("normal"), QStringLiteral("veryLow"),
                                             QStringLiteral("waitsForVeryLow")}));
    EXPECT_EQ(queue.operations(), (QList<std::shared_ptr<Operation>>{waitsForOutside}));

    // A dependency that runs outside the queue releases the operation waiting for it.
    outside->start();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(order.snapshot().mid(5),
              (QStringList{QStringLiteral("outside"), QStringLiteral("waitsForOutside")}));
}

TEST(OperationQueue, CancelAllLetsWaitingOperationsLeaveAtOnce)
{
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(1);
    ConcurrencyProbe probe;
    auto running = makeOperation(probe.body());
    queue.addOperation(running);
    ASSERT_TRUE(waitUntil([&] { return probe.running == 1; }));
    auto waiting1 = makeOperation();
    auto waiting2 = makeOperation();
    waiting2->addDependency(running);
    queue.addOperations({waiting1, waiting2}, false);
    EXPECT_EQ(queue.operationCount(), 3);

    queue.cancelAllOperations();
    waiting1->waitUntilFinished();
    waiting2->waitUntilFinished();
    EXPECT_FALSE(waiting1->mainRan());
    EXPECT_FALSE(waiting2->mainRan());
    EXPECT_EQ(queue.operations(), (QList<std::shared_ptr<Operation>>{running}));
    EXPECT_TRUE(running->isCancelled());
    EXPECT_TRUE(running->isExecuting());

    probe.gate.release();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(queue.operationCount(), 0);
}

TEST(OperationQueue, CancelledWhileSuspendedLeavesOnResume)
{
    OperationQueue queue;
    queue.setSuspended(true);
    auto operation = makeOperation();
    queue.addOperation(operation);
    queue.cancelAllOperations();
    queue.setSuspended(false);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_FALSE(operation->mainRan());
    EXPECT_TRUE(operation->isFinished());
}

TEST(OperationQueue, CancelledAsynchronousOperationReportsBeforeItLeaves)
{
    OperationQueue queue;
    queue.setSuspended(true);
    QStringList events;
    QObject::connect(&queue, &OperationQueue::operationsBecameEmpty,
                     [&] { events.append(QStringLiteral("empty")); });
    LateFinisher late;
    late.operation->addCancelHandler([&] {
        MainThread::post([&] { events.append(QStringLiteral("cancelled")); });
        late.gate.release();
    });
    queue.addOperation(late.operation);
    queue.cancelAllOperations();
    queue.setSuspended(false);
    queue.waitUntilAllOperationsAreFinished();
    ASSERT_TRUE(late.operation->mainRan());
    late.mainReturned.acquire();
    ASSERT_TRUE(waitUntil([&] { return events.contains(QStringLiteral("empty")); }));
    EXPECT_EQ(events, (QStringList{QStringLiteral("cancelled"), QStringLiteral("empty")}));
}

TEST(OperationQueue, AsynchronousOperationFinishesFromAnotherThread)
{
    OperationQueue queue;
    LateFinisher late;
    queue.addOperation(late.operation);
    late.mainReturned.acquire();
    EXPECT_TRUE(late.operation->isExecuting());
    EXPECT_EQ(queue.operationCount(), 1);

    late.gate.release();
    late.operation->waitUntilFinished();
    EXPECT_EQ(queue.operationCount(), 0);
}

TEST(OperationQueue, BecameEmptyOncePerTransitionAfterPostedCallbacks)
{
    OperationQueue queue;
    QStringList events;
    QObject::connect(&queue, &OperationQueue::operationsBecameEmpty, [&] {
        EXPECT_TRUE(MainThread::isCurrent());
        events.append(QStringLiteral("empty"));
    });
    const auto addBatch = [&](int first, int count) {
        queue.setSuspended(true);
        for (int i = first; i < first + count; ++i) {
            auto operation = makeOperation([&events, i](TestOperation &) {
                MainThread::post([&events, i] { events.append(QStringLiteral("main%1").arg(i)); });
            });
            operation->setCompletionCallback([&events, i] {
                MainThread::post([&events, i] { events.append(QStringLiteral("done%1").arg(i)); });
            });
            queue.addOperation(operation);
        }
        queue.setSuspended(false);
    };

    addBatch(0, 6);
    ASSERT_TRUE(waitUntil([&] { return events.contains(QStringLiteral("empty")); }));
    EXPECT_EQ(events.size(), 13);
    EXPECT_EQ(events.last(), QStringLiteral("empty"));

    addBatch(6, 3);
    ASSERT_TRUE(waitUntil([&] { return events.count(QStringLiteral("empty")) == 2; }));
    EXPECT_EQ(events.size(), 20);
    EXPECT_EQ(events.last(), QStringLiteral("empty"));
    EXPECT_EQ(events.indexOf(QStringLiteral("empty")), 12);
}

TEST(OperationQueue, WaitOnMainThreadServesOperationsThatNeedIt)
{
    OperationQueue queue;
    int ranOnMain = 0;
    QList<std::shared_ptr<Operation>> operations;
    for (int i = 0; i < 4; ++i) {
        operations.append(makeOperation([&](TestOperation &) {
            MainThread::run([&] { ranOnMain += MainThread::isCurrent() ? 1 : 0; });
        }));
    }
    queue.addOperation(operations.takeFirst());
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ranOnMain, 1);
    queue.addOperations(operations, true);
    EXPECT_EQ(ranOnMain, 4);
    EXPECT_EQ(queue.operationCount(), 0);
}

TEST(OperationQueue, ExceptionsInMainStillFinishTheOperation)
{
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(1);
    auto raising = makeOperation([](TestOperation &) { throw std::runtime_error("broken"); });
    auto after = makeOperation();
    after->addDependency(raising);
    auto raisingAsynchronous = std::make_shared<TestOperation>(
        [](TestOperation &) {
            throw Exception(Exception::InvalidArgument, QStringLiteral("bad request"));
        },
        true);
    queue.addOperations({raising, after, raisingAsynchronous}, true);
    EXPECT_TRUE(after->mainRan());
    EXPECT_TRUE(raisingAsynchronous->isFinished());
    EXPECT_EQ(queue.operationCount(), 0);
}

TEST(OperationQueue, RejectsOperationsItCannotRun)
{
    OperationQueue queue;
    OperationQueue other;
    EXPECT_THROW(queue.addOperation(nullptr), Exception);
    EXPECT_THROW(queue.setMaxConcurrentOperationCount(-2), Exception);

    queue.setSuspended(true);
    auto queued = makeOperation();
    queue.addOperation(queued);
    EXPECT_THROW(queue.addOperation(queued), Exception);
    EXPECT_THROW(other.addOperation(queued), Exception);

    auto finished = makeOperation();
    finished->start();
    EXPECT_THROW(queue.addOperation(finished), Exception);
    EXPECT_EQ(queue.operationCount(), 1);
    queue.setSuspended(false);
}

TEST(OperationQueue, DestructionCancelsAndWaits)
{
    // Hands work to the main thread until cancelled, as the folder scan does.
    int handedOver = 0;
    auto scan = makeOperation([&](TestOperation &self) {
        while (MainThread::runUnlessCancelled([&] { ++handedOver; }, self)) {
        }
    });
    auto neverStarted = makeOperation();
    // Finishes from its own thread once cancelled, as a network request does.
    LateFinisher late;
    const auto &request = late.operation;
    request->addCancelHandler([&late] { late.gate.release(); });
    std::atomic<int> completions{0};
    request->setCompletionCallback([&] { ++completions; });
    {
        OperationQueue queue;
        queue.setMaxConcurrentOperationCount(2);
        queue.addOperations({scan, request, neverStarted}, false);
        ASSERT_TRUE(waitUntil([&] { return handedOver > 0 && request->isExecuting(); }));
    }
    for (const auto &operation : {scan, request, neverStarted}) {
        EXPECT_TRUE(operation->isCancelled());
        EXPECT_TRUE(operation->isFinished());
    }
    EXPECT_FALSE(neverStarted->mainRan());
    EXPECT_EQ(completions.load(), 1);
}
