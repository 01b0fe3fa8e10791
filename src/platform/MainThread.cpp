#include "platform/MainThread.h"

#include "platform/Operation.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace MainThread {

namespace {

// Calls waiting for the main thread, in posting order, each announced by one posted event.
// The calls are kept here rather than inside Qt's events, and events are posted and read
// under one lock, so that each hand-over is visible to the thread sanitizer: Qt's own event
// queue synchronises where the sanitizer cannot see it.
class Dispatcher final : public QObject
{
public:
    Dispatcher() : m_eventType(QEvent::Type(QEvent::registerEventType()))
    {
        moveToThread(QCoreApplication::instance()->thread());
    }

    void post(std::function<void()> fn)
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(fn));
        QCoreApplication::postEvent(this, new QEvent(m_eventType));
    }

protected:
    bool event(QEvent *event) override
    {
        std::unique_lock lock(m_mutex);
        if (event->type() != m_eventType) {
            lock.unlock();
            return QObject::event(event);
        }
        std::function<void()> call = std::move(m_calls.front());
        m_calls.pop_front();
        lock.unlock();
        call();
        return true;
    }

private:
    const QEvent::Type m_eventType;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls;
};

Dispatcher &dispatcher()
{
    // Lives as long as the process: calls may be posted until the very end.
    static Dispatcher *const instance = new Dispatcher;
    return *instance;
}

// What a waiting thread and the main thread share while the main thread runs a call.
struct HandOver
{
    enum class State
    {
        Waiting,
        Running,
        Ran,
        Abandoned
    };

    std::mutex mutex;
    std::condition_variable changed;
    State state = State::Waiting;
};

// Posts fn to run unless the hand-over has been abandoned by then; fn is used only while
// the caller waits for it.
void postHandOver(const std::shared_ptr<HandOver> &handOver, const std::function<void()> &fn)
{
    post([handOver, fnPointer = &fn] {
        {
            std::lock_guard lock(handOver->mutex);
            if (handOver->state == HandOver::State::Abandoned)
                return;
            handOver->state = HandOver::State::Running;
        }
        (*fnPointer)();
        std::lock_guard lock(handOver->mutex);
        handOver->state = HandOver::State::Ran;
        handOver->changed.notify_all();
    });
}

} // namespace

bool isCurrent()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void post(std::function<void()> fn)
{
    dispatcher().post(std::move(fn));
}

void run(const std::function<void()> &fn)
{
    if (isCurrent()) {
        fn();
        return;
    }
    const auto handOver = std::make_shared<HandOver>();
    postHandOver(handOver, fn);
    std::unique_lock lock(handOver->mutex);
    handOver->changed.wait(lock, [&] { return handOver->state == HandOver::State::Ran; });
}

bool runUnlessCancelled(const std::function<void()> &fn, const Operation &operation)
{
    if (isCurrent()) {
        if (operation.isCancelled())
            return false;
        fn();
        return true;
    }
    const auto handOver = std::make_shared<HandOver>();
    const int wakeOnCancel = operation.addCancelHandler([handOver] {
        std::lock_guard lock(handOver->mutex);
        handOver->changed.notify_all();
    });
    postHandOver(handOver, fn);
    bool ran = false;
    {
        std::unique_lock lock(handOver->mutex);
        handOver->changed.wait(lock, [&] {
            if (handOver->state == HandOver::State::Waiting && operation.isCancelled())
                handOver->state = HandOver::State::Abandoned;
            return handOver->state == HandOver::State::Ran ||
                   handOver->state == HandOver::State::Abandoned;
        });
        ran = handOver->state == HandOver::State::Ran;
    }
    operation.removeCancelHandler(wakeOnCancel);
    return ran;
}

} // namespace MainThread
