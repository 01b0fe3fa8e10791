#include "platform/MainThread.h"

#include "platform/Operation.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <memory>

namespace MainThread {

bool isCurrent()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void run(const std::function<void()> &fn)
{
    if (isCurrent()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), fn, Qt::BlockingQueuedConnection);
}

namespace {

// What a worker and the main thread share while the worker waits for its function to run.
struct HandOver
{
    enum class State
    {
        Waiting,
        Running,
        Ran,
        Abandoned
    };

    QMutex mutex;
    QWaitCondition changed;
    State state = State::Waiting;
};

} // namespace

bool runUnlessCancelled(const std::function<void()> &fn, const Operation &operation)
{
    if (isCurrent()) {
        if (operation.isCancelled())
            return false;
        fn();
        return true;
    }
    const auto handOver = std::make_shared<HandOver>();
    const QMetaObject::Connection wakeOnCancel = QObject::connect(
        &operation, &Operation::cancelled, &operation,
        [handOver] {
            QMutexLocker locker(&handOver->mutex);
            handOver->changed.wakeAll();
        },
        Qt::DirectConnection);
    // fn is only used while this function waits for it to finish.
    post([handOver, fnPointer = &fn] {
        {
            QMutexLocker locker(&handOver->mutex);
            if (handOver->state == HandOver::State::Abandoned)
                return;
            handOver->state = HandOver::State::Running;
        }
        (*fnPointer)();
        QMutexLocker locker(&handOver->mutex);
        handOver->state = HandOver::State::Ran;
        handOver->changed.wakeAll();
    });
    bool ran = false;
    {
        QMutexLocker locker(&handOver->mutex);
        for (;;) {
            if (handOver->state == HandOver::State::Ran) {
                ran = true;
                break;
            }
            if (handOver->state == HandOver::State::Waiting && operation.isCancelled()) {
                handOver->state = HandOver::State::Abandoned;
                break;
            }
            handOver->changed.wait(&handOver->mutex);
        }
    }
    QObject::disconnect(wakeOnCancel);
    return ran;
}

} // namespace MainThread
