#pragma once

#include <QList>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

class OperationQueueCore;

// A unit of work, run once by an OperationQueue or by calling start(). Always held by
// std::shared_ptr. A synchronous operation is done when main() returns; an asynchronous
// one returns from main() having started its work and calls finish() later, from any
// thread, and its main() runs even when it was cancelled before starting, so that it can
// report the cancellation before it finishes. State may be read and changed from any
// thread.
class Operation : public QObject, public std::enable_shared_from_this<Operation>
{
    Q_OBJECT

public:
    enum class QueuePriority
    {
        VeryLow = -8,
        Low = -4,
        Normal = 0,
        High = 4,
        VeryHigh = 8
    };

    Operation();
    ~Operation() override;

    // Runs the operation on the calling thread. A cancelled synchronous operation finishes
    // without running main(); a finished one is left alone. Throws Exception::InvalidArgument when
    // the operation is executing already or its dependencies have not finished.
    void start();

    // Asks the operation to stop. A queued operation that has not started is started at
    // once, whatever the queue's limit, and a synchronous one then leaves without running
    // main(). Overrides must call this one.
    virtual void cancel();

    bool isCancelled() const { return m_cancelled.load(); }
    bool isExecuting() const { return m_state.load() == State::Executing; }
    bool isFinished() const { return m_state.load() == State::Finished; }
    // Cancelled, or every dependency has finished.
    bool isReady() const;
    virtual bool isAsynchronous() const { return false; }

    // This operation starts only after the dependency has finished (or once cancelled).
    void addDependency(const std::shared_ptr<Operation> &operation);
    void removeDependency(const std::shared_ptr<Operation> &operation);
    QList<std::shared_ptr<Operation>> dependencies() const;

    QueuePriority queuePriority() const { return m_priority.load(); }
    void setQueuePriority(QueuePriority priority) { m_priority.store(priority); }

    // Called once, on the thread that finished the operation, before its queue lets go
    // of it.
    void setCompletionCallback(std::function<void()> callback);

    // Calls handler once, on the cancelling thread, when the operation is cancelled (at
    // once when it already is). Returns a key for removeCancelHandler().
    int addCancelHandler(std::function<void()> handler) const;
    void removeCancelHandler(int key) const;

    // Blocks until the operation has finished and its queue has let go of it. On the main
    // thread it keeps processing events, so work the operation hands to the main thread
    // still runs.
    void waitUntilFinished();

Q_SIGNALS:
    // Emitted on the thread that finished the operation.
    void finishedChanged();

protected:
    // The work. Exceptions escaping it are logged and the operation still finishes.
    virtual void main() {}

    // Marks the operation finished. Asynchronous operations call it when their work is
    // done; further calls do nothing.
    void finish();

private:
    friend class OperationQueueCore;

    enum class State
    {
        Pending,
        Executing,
        Finished
    };

    // Runs the operation for its queue, which has checked readiness.
    void execute();
    // Ties the operation to a queue; false when it already belongs to one.
    bool attachToQueue(const std::shared_ptr<OperationQueueCore> &queue);
    void notifyQueue() const;
    void runMain();

    mutable std::mutex m_mutex;
    std::condition_variable m_doneCondition;
    std::atomic<State> m_state{State::Pending};
    std::atomic<bool> m_cancelled{false};
    std::atomic<QueuePriority> m_priority{QueuePriority::Normal};
    bool m_done = false;
    int m_mainThreadWaiters = 0;
    QList<std::shared_ptr<Operation>> m_dependencies;
    QList<std::weak_ptr<Operation>> m_dependents;
    std::function<void()> m_completionCallback;
    std::weak_ptr<OperationQueueCore> m_queue;
    mutable std::map<int, std::function<void()>> m_cancelHandlers;
    mutable int m_nextCancelHandlerKey = 0;
};
