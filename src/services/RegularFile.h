#pragma once

#include <QString>

class QFile;

// Opening video files for the hashes.
namespace RegularFile {

// Opens the path for reading when it names a regular file. The open itself does not wait,
// so a FIFO or device named like a video cannot block the caller.
bool openForReading(const QString &path, QFile &file);

} // namespace RegularFile
