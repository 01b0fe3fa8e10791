#include "http/Gzip.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace {

QByteArray sample()
{
    QByteArray text;
    for (int i = 0; i < 5000; ++i)
        text += "line " + QByteArray::number(i * 7919 % 1000) + "\n";
    return text;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(GzipTest, MemoryRoundTripAndEmptyInput)
{
    const QByteArray text = sample();
    const auto packed = Gzip::compressData(text);
    ASSERT_TRUE(packed);
    EXPECT_TRUE(packed->startsWith("\x1f\x8b"));
    EXPECT_LT(packed->size(), text.size());
    EXPECT_EQ(Gzip::uncompressZippedData(*packed).value_or(""), text);
    EXPECT_EQ(Gzip::compressData({}).value_or("x"), QByteArray());
    EXPECT_EQ(Gzip::uncompressZippedData({}).value_or("x"), QByteArray());
    // A zlib-wrapped stream inflates too (header detected).
    EXPECT_EQ(Gzip::uncompressZippedData(qCompress(text).mid(4)).value_or(""), text);
}

TEST(GzipTest, BrokenMemoryInputGivesNothing)
{
    const QByteArray packed = *Gzip::compressData(sample());
    EXPECT_FALSE(Gzip::uncompressZippedData(packed.left(packed.size() / 2)));
    EXPECT_FALSE(Gzip::uncompressZippedData("not gzip at all"));
    QByteArray corrupt = packed;
    corrupt[corrupt.size() / 2] = char(corrupt[corrupt.size() / 2] ^ 0x55);
    EXPECT_FALSE(Gzip::uncompressZippedData(corrupt));
    // Bytes after the first member are ignored.
    EXPECT_EQ(Gzip::uncompressZippedData(packed + "trailing").value_or(""), sample());
}

TEST(GzipTest, FilesRoundTripAndReportFailures)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath("plain.txt");
    const QString packed = dir.filePath("packed.gz");
    const QString unpacked = dir.filePath("unpacked.txt");
    writeFile(plain, sample());
    EXPECT_EQ(Gzip::compressDataFromFile(plain, packed), 0);
    EXPECT_EQ(Gzip::uncompressZippedDataFromFile(packed, unpacked), 0);
    EXPECT_EQ(readFile(unpacked), sample());
    EXPECT_EQ(Gzip::uncompressZippedData(readFile(packed)).value_or(""), sample());

    const QString cut = dir.filePath("cut.gz");
    writeFile(cut, readFile(packed).left(200));
    EXPECT_EQ(Gzip::uncompressZippedDataFromFile(cut, unpacked), -3);
    writeFile(cut, "plain text, not gzip");
    EXPECT_EQ(Gzip::uncompressZippedDataFromFile(cut, unpacked), -3);
    EXPECT_EQ(Gzip::uncompressZippedDataFromFile(dir.filePath("missing.gz"), unpacked), -1);
    EXPECT_EQ(Gzip::uncompressZippedDataFromFile(packed, dir.filePath("no/such/dir/out")), 1);
    EXPECT_EQ(Gzip::compressDataFromFile(plain, dir.filePath("no/such/dir/out")), 1);
    EXPECT_EQ(Gzip::compressDataFromFile(dir.filePath("missing"), dir.filePath("out.gz")), -1);
    // Failures leave no file that could pass for a result.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              QStringList({"cut.gz", "packed.gz", "plain.txt"}));
}

TEST(GzipTest, FileInflationStopsAtItsLimit)
{
    QTemporaryDir dir;
    const QString packed = dir.filePath("packed.gz");
    const QString unpacked = dir.filePath("unpacked");
    writeFile(packed, *Gzip::compressData(QByteArray(1 << 20, '\0')));
    EXPECT_EQ(Gzip::uncompressZippedDataFromFile(packed, unpacked, 64 * 1024),
              Gzip::OutputTooLarge);
    EXPECT_FALSE(QFile::exists(unpacked));
    EXPECT_EQ(Gzip::uncompressZippedDataFromFile(packed, unpacked, 1 << 20), 0);
    EXPECT_EQ(QFileInfo(unpacked).size(), 1 << 20);

    // Without a bound of the caller's, the default one holds.
    writeFile(packed, *Gzip::compressData(QByteArray(Gzip::DefaultFileInflateLimit + 1, '\0')));
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> source(
        std::fopen(QFile::encodeName(packed).constData(), "rb"), &std::fclose);
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> sink(std::fopen("/dev/null", "wb"),
                                                                &std::fclose);
    EXPECT_EQ(Gzip::uncompressZippedDataFromSource(source.get(), sink.get()), Gzip::OutputTooLarge);

    // A failed open or write comes with the system's reason.
    int cause = 0;
    EXPECT_EQ(Gzip::uncompressZippedDataFromFile(packed, dir.filePath("no/out"), 0, &cause), 1);
    EXPECT_EQ(cause, ENOENT);
}

} // namespace
