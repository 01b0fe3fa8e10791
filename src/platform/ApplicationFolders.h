#pragma once

#include <QString>

// The folders the application keeps its files in, created on first use.
// All follow the XDG variables (XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME, TMPDIR).
namespace ApplicationFolders {

QString configuration(); // $XDG_CONFIG_HOME/trovanel
QString data();          // $XDG_DATA_HOME/trovanel
QString caches();        // $XDG_CACHE_HOME/trovanel
QString temporary();     // the system's temporary folder

} // namespace ApplicationFolders
