#pragma once

#include "platform/Operation.h"

#include <QList>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>

// An operation whose work is a function given by the test.
class TestOperation : public Operation
{
public:
    using Body = std::function<void(TestOperation &)>;

    explicit TestOperation(Body body = {}, bool asynchronous = false)
        : m_body(std::move(body)), m_asynchronous(asynchronous)
    {}

    bool isAsynchronous() const override { return m_asynchronous; }
    bool mainRan() const { return m_mainRan.load(); }
    using Operation::finish;

protected:
    void main() override
    {
        m_mainRan.store(true);
        if (m_body)
            m_body(*this);
    }

private:
    Body m_body;
    bool m_asynchronous;
    std::atomic<bool> m_mainRan{false};
};

// Counts operations running at once; each waits for a permit of the gate before leaving.
struct ConcurrencyProbe
{
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    std::atomic<int> started{0};
    std::counting_semaphore<> gate{0};
    std::mutex mutex;
    // How many were running, itself included, when each operation started.
    QList<int> runningAtStart;

    TestOperation::Body body()
    {
        return [this](TestOperation &) {
            int now = 0;
            {
                std::lock_guard lock(mutex);
                now = ++running;
                runningAtStart.append(now);
            }
            ++started;
            int previous = peak.load();
            while (now > previous && !peak.compare_exchange_weak(previous, now)) {
            }
            gate.acquire();
            --running;
        };
    }
};

// Names of operations in the order they ran.
struct RunOrder
{
    std::mutex mutex;
    QStringList names;

    TestOperation::Body body(const QString &name)
    {
        return [this, name](TestOperation &) {
            std::lock_guard lock(mutex);
            names.append(name);
        };
    }

    QStringList snapshot()
    {
        std::lock_guard lock(mutex);
        return names;
    }
};

// An asynchronous operation that finishes, twice over, from a thread of its own once the
// gate opens.
struct LateFinisher
{
    std::counting_semaphore<> mainReturned{0};
    std::counting_semaphore<> gate{0};
    std::thread thread;
    std::shared_ptr<TestOperation> operation = std::make_shared<TestOperation>(
        [this](TestOperation &self) {
            thread = std::thread([this, &self] {
                gate.acquire();
                self.finish();
                self.finish();
            });
            mainReturned.release();
        },
        true);

    ~LateFinisher()
    {
        if (thread.joinable())
            thread.join();
    }
};
