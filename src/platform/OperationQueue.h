#pragma once

#include <QList>
#include <QObject>

#include <memory>

class Operation;
class OperationQueueCore;
class WorkerPool;

// Runs operations on worker threads of its own: at most maxConcurrentOperationCount() at
// once, each only when its dependencies have finished, the highest queue priority first
// and, among equals, the one added first. An operation stays in operations() until it has
// finished. Usable from any thread; create and destroy it on the main thread.
class OperationQueue : public QObject
{
    Q_OBJECT

public:
    // Lets the queue run as many operations at once as the machine has cores.
    static constexpr int DefaultMaxConcurrentOperationCount = -1;

    explicit OperationQueue(QObject *parent = nullptr);
    // Cancels every operation and waits until all have finished.
    ~OperationQueue() override;

    // Throws Exception::InvalidArgument for a null operation, or one that is executing,
    // finished or already in a queue.
    virtual void addOperation(const std::shared_ptr<Operation> &operation);
    void addOperations(const QList<std::shared_ptr<Operation>> &operations, bool waitUntilFinished);

    QList<std::shared_ptr<Operation>> operations() const;
    int operationCount() const;

    // May change while operations run: raising it starts more at once, lowering it never
    // stops a running one. Throws Exception::InvalidArgument below -1.
    int maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(int count);

    // A suspended queue starts nothing; running operations go on.
    bool isSuspended() const;
    void setSuspended(bool suspended);

    virtual void cancelAllOperations();

    // Blocks until the queue is empty. On the main thread it keeps processing events, so
    // an operation waiting for the main thread can still finish.
    void waitUntilAllOperationsAreFinished();

Q_SIGNALS:
    // Delivered on the main thread once each time the last operation leaves the queue,
    // after everything that operation posted to the main thread before it finished.
    void operationsBecameEmpty();

private:
    std::unique_ptr<WorkerPool> m_pool;
    std::shared_ptr<OperationQueueCore> m_core;
};
