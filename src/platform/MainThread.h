#pragma once

#include <functional>

class Operation;

// The main thread is the thread of the QCoreApplication.
namespace MainThread {

bool isCurrent();

// Queues fn on the main thread's event loop and returns at once.
void post(std::function<void()> fn);

// Runs fn on the main thread and returns when it has run; a direct call when the
// caller already is the main thread.
void run(const std::function<void()> &fn);

// Like run(), for work done on behalf of an operation: while fn waits for the main thread,
// cancelling the operation makes this return at once and fn never runs, so the main thread
// may cancel the operation and wait for it. Returns whether fn ran.
bool runUnlessCancelled(const std::function<void()> &fn, const Operation &operation);

} // namespace MainThread
