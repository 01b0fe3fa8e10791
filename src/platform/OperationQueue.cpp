#include "platform/OperationQueue.h"

#include "platform/Operation.h"
#include "platform/OperationQueueCore.h"
#include "platform/WorkerPool.h"

OperationQueue::OperationQueue(QObject *parent)
    : QObject(parent), m_pool(std::make_unique<WorkerPool>()),
      m_core(std::make_shared<OperationQueueCore>(this, m_pool.get()))
{}

OperationQueue::~OperationQueue()
{
    m_core->detachOwner();
    cancelAllOperations();
    m_core->setSuspended(false);
    m_core->waitUntilEmpty();
    m_core->close();
    // Workers may still be returning from operations that have just finished; the pool
    // joins them.
}

void OperationQueue::addOperation(const std::shared_ptr<Operation> &operation)
{
    m_core->add(operation);
}

void OperationQueue::addOperations(const QList<std::shared_ptr<Operation>> &operations,
                                   bool waitUntilFinished)
{
    for (const auto &operation : operations)
        addOperation(operation);
    if (!waitUntilFinished)
        return;
    for (const auto &operation : operations)
        operation->waitUntilFinished();
}

QList<std::shared_ptr<Operation>> OperationQueue::operations() const
{
    return m_core->operations();
}

int OperationQueue::operationCount() const
{
    return m_core->count();
}

int OperationQueue::maxConcurrentOperationCount() const
{
    return m_core->maxConcurrentOperationCount();
}

void OperationQueue::setMaxConcurrentOperationCount(int count)
{
    m_core->setMaxConcurrentOperationCount(count);
}

bool OperationQueue::isSuspended() const
{
    return m_core->isSuspended();
}

void OperationQueue::setSuspended(bool suspended)
{
    m_core->setSuspended(suspended);
}

void OperationQueue::cancelAllOperations()
{
    m_core->cancelAll();
}

void OperationQueue::waitUntilAllOperationsAreFinished()
{
    m_core->waitUntilEmpty();
}
