#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace TestSupport {

// Processes main-thread events until the condition holds or the time runs out.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

// Processes main-thread events for the given time.
void processEventsFor(int milliseconds);

// Path of a file in the project's source tree.
QString sourcePath(const QString &relative);

// Path of a file under tests/fixtures, the recorded replies of the real services.
QString fixturePath(const QString &relative);

// The whole content of a file, or "<missing>" when it cannot be read.
QByteArray fileContents(const QString &path);
// Creates or replaces the file with the data.
bool writeFile(const QString &path, const QByteArray &data);

// Runs body while no file may grow past bytes, as on a nearly full disk: writes beyond fail
// with "File too large".
void withFileSizeLimit(qint64 bytes, const std::function<void()> &body);

} // namespace TestSupport
