#include "platform/OperationQueueCore.h"

#include "platform/Exception.h"
#include "platform/MainThread.h"
#include "platform/Operation.h"
#include "platform/OperationQueue.h"
#include "platform/WorkerPool.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

OperationQueueCore::OperationQueueCore(OperationQueue *owner, WorkerPool *pool)
    : m_pool(pool), m_owner(owner)
{
    m_pool->setMaxThreadCount(concurrencyLimit() + QThread::idealThreadCount());
}

void OperationQueueCore::add(const std::shared_ptr<Operation> &operation)
{
    if (!operation)
        throw Exception(Exception::InvalidArgument, QStringLiteral("cannot add a null operation"));
    if (operation->isExecuting() || operation->isFinished())
        throw Exception(Exception::InvalidArgument,
                        QStringLiteral("the operation is executing or finished and cannot be "
                                       "added to a queue"));
    std::lock_guard lock(m_mutex);
    if (!operation->attachToQueue(shared_from_this()))
        throw Exception(Exception::InvalidArgument,
                        QStringLiteral("the operation is already in a queue"));
    m_entries.append(Entry{operation});
    scheduleLocked();
}

QList<std::shared_ptr<Operation>> OperationQueueCore::operations() const
{
    std::lock_guard lock(m_mutex);
    QList<std::shared_ptr<Operation>> result;
    result.reserve(m_entries.size());
    for (const Entry &entry : m_entries)
        result.append(entry.operation);
    return result;
}

int OperationQueueCore::count() const
{
    std::lock_guard lock(m_mutex);
    return int(m_entries.size());
}

int OperationQueueCore::maxConcurrentOperationCount() const
{
    std::lock_guard lock(m_mutex);
    return m_maxConcurrent;
}

void OperationQueueCore::setMaxConcurrentOperationCount(int count)
{
    if (count < -1)
        throw Exception(Exception::InvalidArgument,
                        QStringLiteral("the maximum concurrent operation count must be -1 or "
                                       "more, not %1")
                            .arg(count));
    std::lock_guard lock(m_mutex);
    m_maxConcurrent = count;
    if (m_pool)
        m_pool->setMaxThreadCount(concurrencyLimit() + QThread::idealThreadCount());
    scheduleLocked();
}

bool OperationQueueCore::isSuspended() const
{
    std::lock_guard lock(m_mutex);
    return m_suspended;
}

void OperationQueueCore::setSuspended(bool suspended)
{
    std::lock_guard lock(m_mutex);
    m_suspended = suspended;
    scheduleLocked();
}

void OperationQueueCore::cancelAll()
{
    QList<std::shared_ptr<Operation>> toCancel;
    {
        std::lock_guard lock(m_mutex);
        ++m_cancelAllsRunning;
        for (const Entry &entry : std::as_const(m_entries))
            toCancel.append(entry.operation);
    }
    // One finishing early must not free a slot for another that is not cancelled yet.
    for (const auto &operation : std::as_const(toCancel))
        operation->cancel();
    std::lock_guard lock(m_mutex);
    --m_cancelAllsRunning;
    scheduleLocked();
}

void OperationQueueCore::reschedule()
{
    std::lock_guard lock(m_mutex);
    scheduleLocked();
}

void OperationQueueCore::operationFinished(const Operation *operation)
{
    bool becameEmpty = false;
    {
        std::lock_guard lock(m_mutex);
        const auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry &entry) {
            return entry.operation.get() == operation;
        });
        if (it == m_entries.end())
            return;
        if (it->started)
            --m_running;
        m_entries.erase(it);
        becameEmpty = m_entries.isEmpty();
        if (becameEmpty)
            m_emptyCondition.notify_all();
        scheduleLocked();
    }
    if (becameEmpty)
        postBecameEmpty();
}

void OperationQueueCore::waitUntilEmpty()
{
    if (MainThread::isCurrent()) {
        // The emptying posts to the main thread, which wakes this loop.
        while (count() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return;
    }
    std::unique_lock lock(m_mutex);
    m_emptyCondition.wait(lock, [this] { return m_entries.isEmpty(); });
}

void OperationQueueCore::detachOwner()
{
    std::lock_guard lock(m_mutex);
    m_owner = nullptr;
}

void OperationQueueCore::close()
{
    std::lock_guard lock(m_mutex);
    m_pool = nullptr;
}

int OperationQueueCore::concurrencyLimit() const
{
    return m_maxConcurrent < 0 ? QThread::idealThreadCount() : m_maxConcurrent;
}

void OperationQueueCore::scheduleLocked()
{
    if (m_suspended || m_cancelAllsRunning > 0 || !m_pool)
        return;
    // A cancelled operation does no work: let it leave at once, whatever the limit.
    for (Entry &entry : m_entries) {
        if (!entry.started && entry.operation->isCancelled())
            startLocked(entry);
    }
    const int limit = concurrencyLimit();
    while (m_running < limit) {
        Entry *next = nullptr;
        // Readiness costs a lock: it is asked only of an entry that would come first.
        for (Entry &entry : m_entries) {
            if (entry.started ||
                (next && entry.operation->queuePriority() <= next->operation->queuePriority()) ||
                !entry.operation->isReady())
                continue;
            next = &entry;
        }
        if (!next)
            return;
        startLocked(*next);
    }
}

void OperationQueueCore::startLocked(Entry &entry)
{
    entry.started = true;
    ++m_running;
    m_pool->start([operation = entry.operation] { operation->execute(); });
}

void OperationQueueCore::postBecameEmpty()
{
    MainThread::post([weakCore = weak_from_this()] {
        const auto core = weakCore.lock();
        if (!core)
            return;
        OperationQueue *owner = nullptr;
        {
            std::lock_guard lock(core->m_mutex);
            owner = core->m_owner;
        }
        if (owner)
            Q_EMIT owner->operationsBecameEmpty();
    });
}
