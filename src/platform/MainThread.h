#pragma once

#include <functional>

// The main thread is the thread of the QCoreApplication.
namespace MainThread {

bool isCurrent();

// Queues fn on the main thread's event loop and returns at once.
void post(std::function<void()> fn);

// Runs fn on the main thread and returns when it has run; a direct call when the
// caller already is the main thread.
void run(const std::function<void()> &fn);

} // namespace MainThread
