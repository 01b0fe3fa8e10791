#pragma once

#include <QString>

namespace DamagedFiles {

// Moves the file at path aside as "<path>.damaged-<time>", never over another file, so that
// nothing the user had is lost to a fresh start. The new name, or empty when it could not
// be moved.
QString keepAside(const QString &path);

} // namespace DamagedFiles
