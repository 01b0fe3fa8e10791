#pragma once

#include <functional>

class QObject;
class QThread;

// The one thread that runs every socket, stream and timer of the engine. Made on first use,
// from any thread, exactly once; stopped when the application object goes away.
class NetworkThread
{
public:
    static QThread *thread();
    // An object living on the network thread, to post work and own timers.
    static QObject *context();
    static bool isCurrent();
    // Queues fn on the network thread and returns at once.
    static void post(std::function<void()> fn);
    // Work is about to be posted (a synchronous caller was just woken and sends its next
    // request within microseconds): the thread stays awake a moment for it rather than going to
    // sleep, as waking a sleeping thread costs more than a small request itself.
    static void expectPostSoon();
};
