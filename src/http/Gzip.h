#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <limits>
#include <optional>

// gzip in memory and between files. File results follow zlib: 0 success, -1 read or write
// error, -3 corrupt or truncated input, 1 when the destination cannot be created, and
// OutputTooLarge when the inflated file would pass its limit.
class Gzip
{
public:
    // What a file inflates to at most unless the caller says otherwise: far more than any
    // subtitle, far less than a bomb can make.
    static constexpr qint64 DefaultFileInflateLimit = 64 * 1024 * 1024;
    // zlib's "no room for the output".
    static constexpr int OutputTooLarge = -5;

    // Empty input comes back unchanged; anything that does not inflate to its end is nullopt,
    // and so is anything that would inflate past `limit` bytes (then *tooLarge is set).
    static std::optional<QByteArray>
    uncompressZippedData(const QByteArray &data,
                         qsizetype limit = std::numeric_limits<qsizetype>::max(),
                         bool *tooLarge = nullptr);
    // Writes at most `limit` bytes (0 or less for no limit); a failed inflation leaves no
    // destination behind. After a result of -1 or 1, *errorNumber holds the system's reason.
    static int uncompressZippedDataFromFile(const QString &sourcePath,
                                            const QString &destinationPath,
                                            qint64 limit = DefaultFileInflateLimit,
                                            int *errorNumber = nullptr);
    static int uncompressZippedDataFromSource(std::FILE *source, std::FILE *destination,
                                              qint64 limit = DefaultFileInflateLimit);

    static std::optional<QByteArray> compressData(const QByteArray &data);
    static int compressDataFromFile(const QString &sourcePath, const QString &destinationPath);
    static int compressDataFromSource(std::FILE *source, std::FILE *destination);
};
