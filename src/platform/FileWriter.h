#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// Writes whole files in one step: the file at the path holds either all of the new data or
// what it held before, never a part, and every failure is reported with the system's own
// cause ("No space left on device", "File too large"), short writes included.
namespace FileWriter {

enum class Access
{
    Shared,    // readable as the user's file-creation mask allows
    OwnerOnly, // readable and writable by the owner alone
    AsReplaced // no more than the file replaced allowed; Shared where there was none
};

enum class Created
{
    Written,
    NameTaken, // something stood at the path, or came to stand there while writing
    Failed
};

// Creates a file that must not exist yet, such as a subtitle beside a video: nothing standing
// at path is replaced, and a symbolic link there is never followed, even one that points
// nowhere. The cause of a failure, a name taken included, goes to problem.
Created createNew(const QString &path, const QByteArray &data, QString *problem);

// Puts data at path in place of whatever stands there; a link there is replaced, not
// followed.
bool replace(const QString &path, const QByteArray &data, Access access, QString *problem);

// As replace(), with a copy of the file at source, read a block at a time.
bool replaceWithCopy(const QString &path, const QString &source, Access access, QString *problem);

// Makes a write past the process's file-size limit fail with "File too large", as a full
// disk does, instead of killing the program. Called once at start-up.
void failWritesPastSizeLimit();

// The hidden name a write to path goes through, beside it: however long the path's own name,
// this one fits the file system, the name cut short on a character's first byte to make room
// for the random digits and the suffix.
QByteArray temporaryNameBeside(const QString &path);

// Removes what createNew() and replace() left in folder when the program died between writing
// and moving: this user's regular files named ".<name>.<8 hex digits>.part", last written more
// than age ago. Links, other users' files and every other name are left alone.
void removeStaleTemporaries(const QString &folder, std::chrono::seconds age);

} // namespace FileWriter
