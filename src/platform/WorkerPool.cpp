#include "platform/WorkerPool.h"

#include <algorithm>

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void WorkerPool::start(std::function<void()> task)
{
    std::lock_guard lock(m_mutex);
    m_tasks.push_back(std::move(task));
    if (m_idle >= int(m_tasks.size()) || int(m_threads.size()) >= m_maxThreads) {
        m_wake.notify_one();
        return;
    }
    m_threads.emplace_back([this] { work(); });
}

void WorkerPool::setMaxThreadCount(int count)
{
    std::lock_guard lock(m_mutex);
    m_maxThreads = std::max(1, count);
}

int WorkerPool::threadCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_threads.size());
}

void WorkerPool::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_tasks.empty()) {
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            task = nullptr;
            lock.lock();
            continue;
        }
        if (m_stopping)
            return;
        ++m_idle;
        m_wake.wait(lock);
        --m_idle;
    }
}
