#include "platform/MainThread.h"
#include "platform/Operation.h"
#include "platform/OperationQueue.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <functional>
#include <memory>

namespace {

class FunctionOperation final : public Operation
{
public:
    explicit FunctionOperation(std::function<void(const Operation &)> body)
        : m_body(std::move(body))
    {}

protected:
    void main() override { m_body(*this); }

private:
    std::function<void(const Operation &)> m_body;
};

// A batch of small operations through a queue limited as the downloads are (5 at once),
// waited for on the main thread.
void BM_QueueThroughput(benchmark::State &state)
{
    const int batch = int(state.range(0));
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(5);
    std::atomic<int> count{0};
    for (auto _ : state) {
        QList<std::shared_ptr<Operation>> operations;
        operations.reserve(batch);
        for (int i = 0; i < batch; ++i)
            operations.append(
                std::make_shared<FunctionOperation>([&](const Operation &) { ++count; }));
        queue.addOperations(operations, false);
        queue.waitUntilAllOperationsAreFinished();
    }
    benchmark::DoNotOptimize(count.load());
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_QueueThroughput)->Arg(50)->Arg(1000)->Unit(benchmark::kMicrosecond);

// A worker handing calls to the main thread and waiting for each, as the folder scan does
// for every file it reports.
void BM_HandOverToMainThread(benchmark::State &state)
{
    const int calls = int(state.range(0));
    OperationQueue queue;
    int ran = 0;
    for (auto _ : state) {
        queue.addOperation(std::make_shared<FunctionOperation>([&](const Operation &self) {
            for (int i = 0; i < calls; ++i)
                MainThread::runUnlessCancelled([&] { ++ran; }, self);
        }));
        queue.waitUntilAllOperationsAreFinished();
    }
    benchmark::DoNotOptimize(ran);
    state.SetItemsProcessed(state.iterations() * calls);
}
BENCHMARK(BM_HandOverToMainThread)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace
