#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// The file extensions that make a file a video or a subtitle, lower-case and without the dot.
class VideoExtensions final
{
public:
    VideoExtensions() = delete;

    static const QSet<QString> &getVideoExtensions();
    static const QSet<QString> &getSubtitleExtensions();

    static bool isVideoFile(const QString &path);
    static bool isSubtitleFile(const QString &path);

    static QStringList supportedVideoExtensions();
    static QStringList supportedSubtitleExtensions();
};
