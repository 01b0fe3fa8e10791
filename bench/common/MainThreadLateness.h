#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

// How late the main thread answers a timer that asks for it every few milliseconds: the
// longest wait beyond the interval is what a user feels as a frozen window.
class MainThreadLateness
{
public:
    static constexpr int IntervalMs = 5;

    MainThreadLateness()
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(IntervalMs);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            m_worst = std::max(m_worst, m_sinceTick.restart() - IntervalMs);
            ++m_ticks;
        });
        m_ticker.start();
        m_sinceTick.start();
    }

    // The worst lateness so far, in milliseconds, counting the wait still open.
    qint64 worstMs() const { return std::max(m_worst, m_sinceTick.elapsed() - IntervalMs); }
    qint64 ticks() const { return m_ticks; }

private:
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    qint64 m_worst = 0;
    qint64 m_ticks = 0;
};
