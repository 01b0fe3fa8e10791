#include "platform/Operation.h"

#include "platform/Exception.h"
#include "platform/Logging.h"
#include "platform/MainThread.h"
#include "platform/OperationQueueCore.h"

#include <QCoreApplication>

Operation::Operation() = default;

Operation::~Operation() = default;

void Operation::start()
{
    if (isFinished())
        return;
    if (!isReady())
        throw Exception(Exception::InvalidArgument,
                        QStringLiteral("the operation's dependencies have not finished"));
    {
        std::lock_guard lock(m_mutex);
        if (m_state.load() != State::Pending)
            throw Exception(Exception::InvalidArgument,
                            QStringLiteral("the operation is already executing or finished"));
        m_state.store(State::Executing);
    }
    runMain();
}

void Operation::execute()
{
    {
        std::lock_guard lock(m_mutex);
        // An asynchronous operation may have been finished before its queue got to it.
        if (m_state.load() != State::Pending)
            return;
        m_state.store(State::Executing);
    }
    runMain();
}

void Operation::runMain()
{
    if (isCancelled() && !isAsynchronous()) {
        finish();
        return;
    }
    try {
        main();
    } catch (const std::exception &e) {
        qCWarning(lcPlatform, "An operation raised an exception: %s", e.what());
        finish();
        return;
    } catch (...) {
        qCWarning(lcPlatform, "An operation raised an unknown exception");
        finish();
        return;
    }
    if (!isAsynchronous())
        finish();
}

void Operation::cancel()
{
    std::map<int, std::function<void()>> handlers;
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled.exchange(true))
            return;
        handlers.swap(m_cancelHandlers);
    }
    for (const auto &[key, handler] : handlers)
        handler();
    // A cancelled operation is ready at once, whatever its dependencies.
    notifyQueue();
}

bool Operation::isReady() const
{
    if (isCancelled())
        return true;
    QList<std::shared_ptr<Operation>> dependencies;
    {
        std::lock_guard lock(m_mutex);
        dependencies = m_dependencies;
    }
    for (const auto &dependency : std::as_const(dependencies)) {
        if (!dependency->isFinished())
            return false;
    }
    return true;
}

void Operation::addDependency(const std::shared_ptr<Operation> &operation)
{
    if (!operation || operation.get() == this)
        throw Exception(Exception::InvalidArgument,
                        QStringLiteral("an operation cannot depend on itself or on nothing"));
    {
        std::lock_guard lock(m_mutex);
        if (m_dependencies.contains(operation))
            return;
        m_dependencies.append(operation);
    }
    std::lock_guard lock(operation->m_mutex);
    operation->m_dependents.append(weak_from_this());
}

void Operation::removeDependency(const std::shared_ptr<Operation> &operation)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_dependencies.removeOne(operation))
            return;
    }
    notifyQueue();
}

QList<std::shared_ptr<Operation>> Operation::dependencies() const
{
    std::lock_guard lock(m_mutex);
    return m_dependencies;
}

void Operation::setCompletionCallback(std::function<void()> callback)
{
    std::lock_guard lock(m_mutex);
    m_completionCallback = std::move(callback);
}

void Operation::finish()
{
    std::function<void()> completion;
    std::shared_ptr<OperationQueueCore> queue;
    QList<std::weak_ptr<Operation>> dependents;
    {
        std::lock_guard lock(m_mutex);
        if (m_state.load() == State::Finished)
            return;
        m_state.store(State::Finished);
        completion = std::move(m_completionCallback);
        m_completionCallback = nullptr;
        queue = m_queue.lock();
        dependents = m_dependents;
    }
    Q_EMIT finishedChanged();
    if (completion)
        completion();
    if (queue)
        queue->operationFinished(this);
    for (const auto &weakDependent : std::as_const(dependents)) {
        if (const auto dependent = weakDependent.lock())
            dependent->notifyQueue();
    }
    bool wakeMainThread = false;
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
        m_doneCondition.notify_all();
        wakeMainThread = m_mainThreadWaiters > 0;
    }
    if (wakeMainThread)
        MainThread::post([] {});
}

int Operation::addCancelHandler(std::function<void()> handler) const
{
    {
        std::lock_guard lock(m_mutex);
        if (!isCancelled()) {
            const int key = m_nextCancelHandlerKey++;
            m_cancelHandlers.emplace(key, std::move(handler));
            return key;
        }
    }
    handler();
    return -1;
}

void Operation::removeCancelHandler(int key) const
{
    std::lock_guard lock(m_mutex);
    m_cancelHandlers.erase(key);
}

void Operation::waitUntilFinished()
{
    std::unique_lock lock(m_mutex);
    if (!MainThread::isCurrent()) {
        m_doneCondition.wait(lock, [this] { return m_done; });
        return;
    }
    ++m_mainThreadWaiters;
    while (!m_done) {
        lock.unlock();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        lock.lock();
    }
    --m_mainThreadWaiters;
}

bool Operation::attachToQueue(const std::shared_ptr<OperationQueueCore> &queue)
{
    std::lock_guard lock(m_mutex);
    if (!m_queue.expired() || m_state.load() != State::Pending)
        return false;
    m_queue = queue;
    return true;
}

void Operation::notifyQueue() const
{
    std::shared_ptr<OperationQueueCore> queue;
    {
        std::lock_guard lock(m_mutex);
        queue = m_queue.lock();
    }
    if (queue)
        queue->reschedule();
}
