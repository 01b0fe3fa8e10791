#include "http/NetworkThread.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <openssl/crypto.h>

namespace {

struct Runner
{
    QThread *thread = nullptr;
    QObject *context = nullptr;
};

void stopRunner();

Runner &runner()
{
    static Runner *instance = [] {
        auto *made = new Runner;
        made->thread = new QThread;
        made->thread->setObjectName(QStringLiteral("trovanel-network"));
        made->context = new QObject;
        made->context->moveToThread(made->thread);
        QObject::connect(made->thread, &QThread::finished, made->context, &QObject::deleteLater);
        // The TLS library's per-thread state goes while the thread still runs: left to the
        // thread's exit, it races the library's own clean-up at process exit.
        QObject::connect(
            made->thread, &QThread::finished, made->context, [] { OPENSSL_thread_stop(); },
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
    QMetaObject::invokeMethod(context(), std::move(fn), Qt::QueuedConnection);
}
