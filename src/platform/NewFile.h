#pragma once

#include <QByteArray>
#include <QString>

// Creates files that must not exist yet, such as a subtitle beside a video: the file appears
// whole or not at all, nothing standing at the path is replaced, and a symbolic link there
// is never followed, even one that points nowhere.
namespace NewFile {

// False when something already stands at path or the data cannot be written; problem then
// names the cause as the system gives it ("No space left on device", "File exists").
bool create(const QString &path, const QByteArray &data, QString *problem);

} // namespace NewFile
