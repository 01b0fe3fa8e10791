#pragma once

#include <QString>
#include <QUrl>

// Resolution of symbolic links, which are what this platform has for aliases. A relative
// link destination is taken from the link's own folder.
namespace LinkResolution {

// The file URL of what the link at the path points to, one level only; empty when the path
// is no link or its target does not exist (a dangling link or a loop).
QUrl urlByResolvingAlias(const QString &path);

// The same target as a path; a null string where there is none.
QString stringByConditionallyResolvingAlias(const QString &path);

// The alias target, or the path itself when it names no alias with an existing target.
QString stringByResolvingAlias(const QString &path);

// The link's destination when the path is a symbolic link (whether or not the destination
// exists), else a null string.
QString stringByConditionallyResolvingSymlink(const QString &path);

// The link's destination, or the path itself when it is no link.
QString stringByResolvingSymlink(const QString &path);

// Follows links from the path until an entry that is no link; null when the path or a
// destination does not exist, a link cannot be read, or the links form a loop.
QString stringByIterativelyResolvingSymlinkOrAlias(const QString &path);

// The standardised absolute path with every link along it resolved, one component at a
// time; null for a relative path or when any step fails.
QString stringByResolvingSymlinksAndAliases(const QString &path);

} // namespace LinkResolution
