#pragma once

#include <QStringList>

// What the desktop shell or the command line names: local files and folders (plain
// paths or file:// URLs, made absolute so that another process can use them) and
// other URLs.
struct LaunchArguments
{
    QStringList paths;
    QStringList urls;

    static LaunchArguments parse(const QStringList &arguments);
    QStringList toList() const { return paths + urls; }
};
