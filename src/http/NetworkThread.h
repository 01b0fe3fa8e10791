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
};
