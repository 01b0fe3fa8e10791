#pragma once

#include <QString>

// The folders the application keeps its files in, created on first use.
// All follow the XDG variables (XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME, TMPDIR).
namespace ApplicationFolders {

QString configuration(); // $XDG_CONFIG_HOME/trovanel
QString data();          // $XDG_DATA_HOME/trovanel
QString caches();        // $XDG_CACHE_HOME/trovanel
QString temporary();     // the system's temporary folder

// Makes folder, creating it if need be, a real folder of this user that no one else may
// enter (mode 0700). False, with the cause, when a link or another user's folder stands
// there, or it cannot be made so.
bool makePrivate(const QString &folder, QString *problem);

} // namespace ApplicationFolders
