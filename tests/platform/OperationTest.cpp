#include "OperationTestSupport.h"

#include "common/TestSupport.h"
#include "platform/Exception.h"
#include "platform/MainThread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <memory>
#include <semaphore>
#include <stdexcept>
#include <thread>

TEST(Operation, StartRunsOnCallerAndFinishesOnce)
{
    QThread *ranOn = nullptr;
    auto operation =
        std::make_shared<TestOperation>([&](TestOperation &) { ranOn = QThread::currentThread(); });
    int completions = 0;
    int finishedSignals = 0;
    operation->setCompletionCallback([&] { ++completions; });
    QObject::connect(operation.get(), &Operation::finishedChanged, [&] { ++finishedSignals; });

    EXPECT_TRUE(operation->isReady());
    operation->start();
    EXPECT_EQ(ranOn, QThread::currentThread());
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());
    operation->start();
    operation->finish();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(finishedSignals, 1);
}

TEST(Operation, CancelledBeforeStartFinishesWithoutMain)
{
    auto operation = std::make_shared<TestOperation>();
    int handlerCalls = 0;
    const int removed = operation->addCancelHandler([&] { handlerCalls += 100; });
    operation->addCancelHandler([&] { ++handlerCalls; });
    operation->removeCancelHandler(removed);
    operation->cancel();
    operation->cancel();
    EXPECT_EQ(handlerCalls, 1);
    // A handler added after the cancel runs at once.
    operation->addCancelHandler([&] { ++handlerCalls; });
    EXPECT_EQ(handlerCalls, 2);
    operation->start();
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->mainRan());
}

TEST(Operation, DependenciesGateReadinessAndStart)
{
    auto first = std::make_shared<TestOperation>();
    auto second = std::make_shared<TestOperation>();
    auto third = std::make_shared<TestOperation>();
    third->addDependency(first);
    third->addDependency(second);
    third->addDependency(first);
    EXPECT_EQ(third->dependencies().size(), 2);
    EXPECT_FALSE(third->isReady());
    EXPECT_THROW(third->start(), Exception);
    EXPECT_THROW(third->addDependency(third), Exception);

    first->start();
    EXPECT_FALSE(third->isReady());
    third->removeDependency(second);
    EXPECT_TRUE(third->isReady());

    // Cancelling makes an operation ready whatever its dependencies.
    auto blocked = std::make_shared<TestOperation>();
    blocked->addDependency(second);
    blocked->cancel();
    EXPECT_TRUE(blocked->isReady());
}

TEST(Operation, ExceptionInMainIsCaughtAndFinishes)
{
    auto raising = std::make_shared<TestOperation>([](TestOperation &) {
        throw Exception(Exception::InternalInconsistency, QStringLiteral("broken"));
    });
    auto raisingAnything = std::make_shared<TestOperation>([](TestOperation &) { throw 42; });
    auto raisingAsynchronous = std::make_shared<TestOperation>(
        [](TestOperation &) { throw std::runtime_error("no network"); }, true);
    for (const auto &operation : {raising, raisingAnything, raisingAsynchronous}) {
        EXPECT_NO_THROW(operation->start());
        EXPECT_TRUE(operation->isFinished());
    }
}

TEST(Operation, AsynchronousFinishesFromAnotherThread)
{
    LateFinisher late;
    const auto &operation = late.operation;
    std::atomic<int> completions{0};
    operation->setCompletionCallback([&] { ++completions; });
    operation->start();
    EXPECT_TRUE(operation->isExecuting());
    EXPECT_FALSE(operation->isFinished());
    late.gate.release();
    operation->waitUntilFinished();
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());
    EXPECT_EQ(completions.load(), 1);
}

TEST(Operation, WaitOnMainThreadLetsTheOperationReachIt)
{
    bool ranOnMain = false;
    auto operation = std::make_shared<TestOperation>(
        [&](TestOperation &) { MainThread::run([&] { ranOnMain = MainThread::isCurrent(); }); });
    std::thread worker([operation] { operation->start(); });
    operation->waitUntilFinished();
    worker.join();
    EXPECT_TRUE(ranOnMain);
}

TEST(MainThreadRunUnlessCancelled, RunsAndWaitsForTheMainThread)
{
    bool ranOnMain = false;
    bool ran = false;
    auto operation = std::make_shared<TestOperation>([&](TestOperation &self) {
        ran = MainThread::runUnlessCancelled([&] { ranOnMain = MainThread::isCurrent(); }, self);
    });
    std::thread worker([operation] { operation->start(); });
    operation->waitUntilFinished();
    worker.join();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(ranOnMain);
}

TEST(MainThreadRunUnlessCancelled, CancelWakesTheWorkerAndDropsTheCall)
{
    std::counting_semaphore<> entered{0};
    std::counting_semaphore<> done{0};
    std::atomic<bool> ran{true};
    bool called = false;
    auto operation = std::make_shared<TestOperation>([&](TestOperation &self) {
        entered.release();
        ran = MainThread::runUnlessCancelled([&] { called = true; }, self);
    });
    operation->setCompletionCallback([&] { done.release(); });
    std::thread worker([operation] { operation->start(); });
    // The main thread blocks without processing events, as a quitting program would.
    entered.acquire();
    operation->cancel();
    done.acquire();
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran.load());
    EXPECT_FALSE(called);
}

TEST(MainThreadRunUnlessCancelled, OnTheMainThreadCallsDirectly)
{
    TestOperation operation;
    bool called = false;
    EXPECT_TRUE(MainThread::runUnlessCancelled([&] { called = true; }, operation));
    EXPECT_TRUE(called);
    operation.cancel();
    called = false;
    EXPECT_FALSE(MainThread::runUnlessCancelled([&] { called = true; }, operation));
    EXPECT_FALSE(called);
}

TEST(MainThreadRunUnlessCancelled, CancelDuringTheCallStillReportsItRan)
{
    bool ran = false;
    auto operation = std::make_shared<TestOperation>([&](TestOperation &self) {
        ran = MainThread::runUnlessCancelled([&] { self.cancel(); }, self);
    });
    std::thread worker([operation] { operation->start(); });
    operation->waitUntilFinished();
    worker.join();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(operation->isCancelled());
}
