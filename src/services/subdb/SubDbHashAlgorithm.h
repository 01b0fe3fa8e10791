#pragma once

#include <QString>
#include <QtGlobal>

class QIODevice;
class QUrl;

// The SubDB hash: the MD5 of a video's first 64 KiB followed by its last 64 KiB, as 32
// lower-case hexadecimal digits. A null string when there is no hash.
class SubDbHashAlgorithm final
{
public:
    static constexpr qint64 BlockSize = 65536;

    SubDbHashAlgorithm() = delete;

    // Reads from the device's current position; the device stays open.
    static QString hashForFile(QIODevice *file);
    // Only regular files are hashed: a FIFO or device would block the reader.
    static QString hashForPath(const QString &path);
    static QString hashForURL(const QUrl &url);
};
