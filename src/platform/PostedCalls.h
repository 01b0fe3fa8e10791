#pragma once

#include <QEvent>
#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class QThread;

// Calls waiting for one thread's event loop, run there in posting order, each announced by one
// posted event. The calls are kept here rather than inside Qt's events, and events are posted
// and read under one lock, so that each hand-over is visible to the thread sanitizer: Qt's own
// event queue synchronises where the sanitizer cannot see it.
class PostedCalls final : public QObject
{
public:
    explicit PostedCalls(QThread *thread);

    void post(std::function<void()> fn);

protected:
    bool event(QEvent *event) override;

private:
    const QEvent::Type m_eventType;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls;
};
