#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

// Runs the main thread's events, sleeping between them as the application's own loop does,
// until done() holds or timeoutMs has passed. Qt's processEvents with a time limit never
// sleeps: it would keep a core busy and starve the threads being measured.
template <typename Done> bool runEventsUntil(Done done, qint64 timeoutMs = 600000)
{
    QElapsedTimer clock;
    clock.start();
    // Wakes the loop now and then, so that a condition no event announces is still seen.
    QTimer wake;
    wake.start(5);
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}
