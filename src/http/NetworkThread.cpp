#include "http/NetworkThread.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

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
