#pragma once

#include <QString>

#include <functional>

namespace TestSupport {

// Processes main-thread events until the condition holds or the time runs out.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

// Processes main-thread events for the given time.
void processEventsFor(int milliseconds);

// Path of a file under ../shared/fixtures, the recorded replies of the real services.
QString fixturePath(const QString &relative);

} // namespace TestSupport
