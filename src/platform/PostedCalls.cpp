#include "platform/PostedCalls.h"

#include <QCoreApplication>

PostedCalls::PostedCalls(QThread *thread) : m_eventType(QEvent::Type(QEvent::registerEventType()))
{
    moveToThread(thread);
}

void PostedCalls::post(std::function<void()> fn)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(fn));
    QCoreApplication::postEvent(this, new QEvent(m_eventType));
}

bool PostedCalls::event(QEvent *event)
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
