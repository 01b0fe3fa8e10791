#pragma once

#include <QString>
#include <QtGlobal>

class QIODevice;
class QUrl;

// A movie hash: the checksum and the file size. Both are 0 when there is no hash.
struct OSHashResult
{
    quint64 hash = 0;
    quint64 size = 0;

    friend bool operator==(const OSHashResult &, const OSHashResult &) = default;
};

// The 64-bit checksum of a video's size and of its first and last 64 KiB.
class OSHashAlgorithm final
{
public:
    static constexpr qint64 BlockSize = 65536;

    OSHashAlgorithm() = delete;

    // Reads from the device's current position; the device stays open.
    static OSHashResult hashForFile(QIODevice *file);
    // Only regular files are hashed: a FIFO or device would block the reader.
    static OSHashResult hashForPath(const QString &path);
    static OSHashResult hashForURL(const QUrl &url);
    // Lower-case hexadecimal, zero-padded to 16 digits.
    static QString stringForHash(quint64 hash);
};
