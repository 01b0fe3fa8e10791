#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <optional>

// gzip in memory and between files. File results follow zlib: 0 success, -1 read or write
// error, -3 corrupt or truncated input, 1 when the destination cannot be created.
class Gzip
{
public:
    // Empty input comes back unchanged; anything that does not inflate to its end is nullopt.
    static std::optional<QByteArray> uncompressZippedData(const QByteArray &data);
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
