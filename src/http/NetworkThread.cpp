#include "http/NetworkThread.h"

#include "platform/PostedCalls.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <openssl/crypto.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Long enough for a caller to make and post its next request, short enough not to matter when
// none comes.
constexpr auto PostExpectedWithin = std::chrono::microseconds(200);

struct Runner
{
    QThread *thread = nullptr;
    PostedCalls *context = nullptr;
    std::atomic<quint64> posts{0};
    // The post count when a post was announced; NoPostExpected when none is.
    std::atomic<quint64> expectedAfter{NoPostExpected};

    static constexpr quint64 NoPostExpected = ~quint64(0);
};

void awaitExpectedPost(Runner &r)
{
    const quint64 before = r.expectedAfter.exchange(Runner::NoPostExpected);
    if (before == Runner::NoPostExpected)
        return;
    const auto until = std::chrono::steady_clock::now() + PostExpectedWithin;
    while (r.posts.load(std::memory_order_acquire) == before &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
}

void stopRunner();

Runner &runner()
{
    static Runner *instance = [] {
        auto *made = new Runner;
        made->thread = new QThread;
        made->thread->setObjectName(QStringLiteral("trovanel-network"));
        made->context = new PostedCalls(made->thread);
        QObject::connect(made->thread, &QThread::finished, made->context, &QObject::deleteLater);
        // The TLS library's per-thread state goes while the thread still runs: left to the
        // thread's exit, it races the library's own clean-up at process exit.
        QObject::connect(
            made->thread, &QThread::finished, made->context, [] { OPENSSL_thread_stop(); },
            Qt::DirectConnection);
        QObject::connect(
            made->thread, &QThread::started, made->context,
            [made] {
                QObject::connect(
                    QThread::currentThread()->eventDispatcher(),
                    &QAbstractEventDispatcher::aboutToBlock, made->context,
                    [made] { awaitExpectedPost(*made); }, Qt::DirectConnection);
            },
            Qt::DirectConnection);
        made->thread->start();
        qAddPostRoutine(stopRunner);
        return made;
    }();
    return *instance;
}

void stopRunner()
{
    Runner &r = runner();
    r.thread->quit();
    r.thread->wait();
}

} // namespace

QThread *NetworkThread::thread()
{
    return runner().thread;
}

QObject *NetworkThread::context()
{
    return runner().context;
}

bool NetworkThread::isCurrent()
{
    return QThread::currentThread() == thread();
}

void NetworkThread::post(std::function<void()> fn)
{
    runner().context->post(std::move(fn));
    runner().posts.fetch_add(1, std::memory_order_release);
}

void NetworkThread::expectPostSoon()
{
    Runner &r = runner();
    r.expectedAfter.store(r.posts.load(std::memory_order_acquire));
}
