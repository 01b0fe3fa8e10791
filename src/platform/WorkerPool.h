#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Threads that run tasks in the order given. A new thread is made only when no idle one can
// take the task and the limit allows; threads stay until the pool is destroyed.
class WorkerPool final
{
public:
    WorkerPool() = default;
    // Runs the tasks still queued, then joins every thread. Never call it from a task.
    ~WorkerPool();

    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    void start(std::function<void()> task);
    // Lowering it ends no thread; it only stops new ones being made.
    void setMaxThreadCount(int count);
    int threadCount() const;

private:
    void work();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    std::vector<std::thread> m_threads;
    int m_idle = 0;
    int m_maxThreads = 1;
    bool m_stopping = false;
};
