#pragma once

#include <QString>

// Path vocabulary with the semantics the rest of the program expects of file paths.
// QFileInfo's baseName()/suffix() split at different dots and must not stand in for these.
// Every function works on the text alone; nothing touches the file system except the
// home-folder lookup of the tilde expansion.
namespace PathUtilities {

// "/tmp/scratch.tiff" -> "scratch.tiff", "/tmp/" -> "tmp", "/" -> "/", "" -> "".
QString lastPathComponent(const QString &path);

// The text after the last dot of the last component: "/a/b.tar.gz" -> "gz".
// A leading dot does not start an extension: ".avi" has none.
QString pathExtension(const QString &path);

// The path without its extension and trailing slashes: "/tmp/b.tar.gz" -> "/tmp/b.tar".
QString deletingPathExtension(const QString &path);

// "/tmp/lock/" -> "/tmp", "/tmp" -> "/", "scratch" -> "".
QString deletingLastPathComponent(const QString &path);

// Joins with exactly one separator: "/v/" + "a.avi" -> "/v/a.avi"; runs of slashes
// collapse and a trailing slash is dropped.
QString appendingPathComponent(const QString &path, const QString &component);

// "/tmp/scratch.old" + "tiff" -> "/tmp/scratch.old.tiff". A null string when there is no
// component to carry the extension ("" or "/") or the extension holds a slash.
QString appendingPathExtension(const QString &path, const QString &extension);

// "~" and "~/x" use the home folder, "~user/x" that user's home folder; a path without a
// leading tilde, or naming an unknown user, comes back unchanged.
QString expandingTildeInPath(const QString &path);

// Expands a leading tilde, collapses "//" and "/./", drops a trailing slash and, in absolute
// paths, resolves ".." against the preceding component. Symbolic links are not resolved.
QString standardizingPath(const QString &path);

// The longest start of name, whole characters only, that takes at most bytes in UTF-8: file
// systems limit a name's bytes, not its characters.
QString leftWithinBytes(const QString &name, qsizetype bytes);

} // namespace PathUtilities
