#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <limits>
#include <optional>

// gzip in memory and between files. File results follow zlib: 0 success, -1 read or write
// error, -3 corrupt or truncated input, 1 when the destination cannot be created.
class Gzip
{
public:
    // Empty input comes back unchanged; anything that does not inflate to its end is nullopt,
    // and so is anything that would inflate past `limit` bytes (then *tooLarge is set).
    static std::optional<QByteArray>
    uncompressZippedData(const QByteArray &data,
                         qsizetype limit = std::numeric_limits<qsizetype>::max(),
                         bool *tooLarge = nullptr);
    static int uncompressZippedDataFromFile(const QString &sourcePath,
                                            const QString &destinationPath);
    static int uncompressZippedDataFromSource(std::FILE *source, std::FILE *destination);

    static std::optional<QByteArray> compressData(const QByteArray &data);
    static int compressDataFromFile(const QString &sourcePath, const QString &destinationPath);
    static int compressDataFromSource(std::FILE *source, std::FILE *destination);

private:
    using Transfer = int (*)(std::FILE *, std::FILE *);
    static int betweenFiles(const QString &sourcePath, const QString &destinationPath,
                            Transfer transfer);
};
