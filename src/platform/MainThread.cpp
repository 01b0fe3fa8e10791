#include "platform/MainThread.h"

#include "platform/Operation.h"
#include "platform/PostedCalls.h"

#include <QCoreApplication>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace MainThread {

namespace {

PostedCalls &dispatcher()
{
    // Lives as long as the process: calls may be posted until the very end.
    static PostedCalls *const instance = new PostedCalls(QCoreApplication::instance()->thread());
    return *instance;
}

// Made on the main thread as the application starts: made first on another thread, it would
// reach the main thread only through Qt's event queue, where the thread sanitizer cannot see it.
void makeDispatcher()
{
    dispatcher();
}
Q_COREAPP_STARTUP_FUNCTION(makeDispatcher)

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
