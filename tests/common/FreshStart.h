#pragma once

#include <QString>

#include <functional>

namespace TestSupport {

// Each test starts as a first start of the program on a new account would: with empty
// configuration, data, cache, runtime and temporary folders and every process-wide store
// reset. The stores of each subsystem add their resets from tests/common/stores.

// Adds a reset to run before every test. Answers true, so that it can set a static.
bool addStoreReset(std::function<void()> reset);

// Gives the process its own folders under home and, from then on, a fresh start before
// every test.
void startEveryTestFresh(const QString &home);

} // namespace TestSupport
