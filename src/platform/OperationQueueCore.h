#pragma once

#include <QList>

#include <condition_variable>
#include <memory>
#include <mutex>

class Operation;
class OperationQueue;
class WorkerPool;

// The state an OperationQueue shares with its operations. Operations reach it through a
// weak pointer, so one that finishes after its queue is gone touches nothing freed.
class OperationQueueCore final : public std::enable_shared_from_this<OperationQueueCore>
{
public:
    OperationQueueCore(OperationQueue *owner, WorkerPool *pool);

    // Throws Exception::InvalidArgument for a null, finished, executing or queued operation.
    void add(const std::shared_ptr<Operation> &operation);
    QList<std::shared_ptr<Operation>> operations() const;
    int count() const;

    int maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(int count);
    bool isSuspended() const;
    void setSuspended(bool suspended);

    // Cancels every operation, starting none of them meanwhile.
    void cancelAll();
    // Starts whatever may start now.
    void reschedule();
    void operationFinished(const Operation *operation);
    void waitUntilEmpty();

    // For the owner's destruction: no more signals, then no more starts.
    void detachOwner();
    void close();

private:
    struct Entry
    {
        std::shared_ptr<Operation> operation;
        bool started = false;
    };

    int concurrencyLimit() const;
    void scheduleLocked();
    void startLocked(Entry &entry);
    void postBecameEmpty();

    mutable std::mutex m_mutex;
    std::condition_variable m_emptyCondition;
    QList<Entry> m_entries;
    int m_running = 0;
    int m_maxConcurrent = -1;
    bool m_suspended = false;
    int m_cancelAllsRunning = 0;
    WorkerPool *m_pool;
    // Read and cleared on the main thread only, where the owner lives and dies.
    OperationQueue *m_owner;
};
