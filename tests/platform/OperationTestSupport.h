#pragma once

#include "platform/Operation.h"

#include <QMutex>
#include <QSemaphore>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
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
    QSemaphore gate;
    QMutex mutex;
    // How many were running, itself included, when each operation started.
    QList<int> runningAtStart;

    TestOperation::Body body()
    {
        return [this](TestOperation &) {
            int now = 0;
            {
                QMutexLocker locker(&mutex);
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
    QMutex mutex;
    QStringList names;

    TestOperation::Body body(const QString &name)
    {
        return [this, name](TestOperation &) {
            QMutexLocker locker(&mutex);
            names.append(name);
        };
    }

    QStringList snapshot()
    {
        QMutexLocker locker(&mutex);
        return names;
    }
};

// An asynchronous operation that finishes, twice over, from a thread of its own once the
// gate opens.
struct LateFinisher
{
    QSemaphore mainReturned;
    QSemaphore gate;
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
