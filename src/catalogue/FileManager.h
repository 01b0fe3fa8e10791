#pragma once

#include "platform/Error.h"

#include <QStandardPaths>
#include <QString>

// The application's folders, and file tests that hide the platform's errors.
namespace FileManager {

inline const QString AppFolderErrorDomain = QStringLiteral("AppFolderErrorDomain");
inline const QString SearchPathDirectoryKey = QStringLiteral("NSSearchPathDirectory");
inline const QString SearchPathDomainMaskKey = QStringLiteral("NSSearchPathDomainMask");
// The domain of errors handed on from the operating system; the code is the errno value.
inline const QString PosixErrorDomain = QStringLiteral("NSPOSIXErrorDomain");

enum AppFolderError
{
    NoPathForDirectory = 0,
    FileExistsAtDirectory = 1,
};

// Only the user's own domain has folders on this platform.
enum class SearchPathDomain
{
    User = 1,
    Local = 2,
    Network = 4,
    System = 8,
};

// The folder of the directory kind in the domain, with the component appended, created
// with its missing parents when nothing is there. A null string on failure, with the error
// set: no folder for the directory in the domain, a non-folder in the way, or the reason
// the creation failed. The error is cleared on success.
QString findOrCreateDirectory(QStandardPaths::StandardLocation directory, SearchPathDomain domain,
                              const QString &component, Error *error);

// $XDG_DATA_HOME/<executable name>, created when missing; null when that fails.
QString applicationSupportDirectory();

// Something that is not a folder exists at the path (links are followed).
bool fileExists(const QString &path);
// A folder exists at the path (links are followed).
bool folderExists(const QString &path);

// Removes the file, or the folder with its contents, at exactly this path; a symbolic link
// is removed itself, never what it points to. Refuses empty, relative and root paths.
// Errors are ignored.
void deleteFile(const QString &path);

// Renames source to destination; false on any failure, including across file systems.
bool moveFile(const QString &source, const QString &destination);

} // namespace FileManager
