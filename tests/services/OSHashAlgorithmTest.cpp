#include "services/OSHashAlgorithm.h"

#include "services/ShrinkingDevice.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <sys/stat.h>

namespace {

// A deterministic byte for every file offset, so expectations never read the file back.
unsigned char byteAt(quint64 offset)
{
    quint64 x = offset * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 32;
    return static_cast<unsigned char>(x);
}

// Sums a block's words assembled byte by byte, least significant byte first.
quint64 expectedBlockSum(quint64 start)
{
    quint64 sum = 0;
    for (quint64 word = 0; word < 8192; ++word) {
        quint64 value = 0;
        for (int b = 7; b >= 0; --b)
            value = (value << 8) | byteAt(start + word * 8 + quint64(b));
        sum += value;
    }
    return sum;
}

quint64 expectedHash(quint64 size)
{
    return size + expectedBlockSum(0) + expectedBlockSum(size - 65536);
}

QByteArray bytesFrom(quint64 start, qint64 count)
{
    QByteArray data(count, Qt::Uninitialized);
    for (qint64 i = 0; i < count; ++i)
        data[i] = static_cast<char>(byteAt(start + quint64(i)));
    return data;
}

class OSHashAlgorithmTest : public ::testing::Test
{
protected:
    QString writeFile(const QString &name, qint64 size)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytesFrom(0, size));
        return path;
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(OSHashAlgorithmTest, GeneratedFilesMatchAnIndependentSum)
{
    EXPECT_EQ(OSHashAlgorithm::hashForPath(writeFile("short.avi", 65535)), OSHashResult{});
    for (const qint64 size : {65536, 131072, 200000}) {
        SCOPED_TRACE(size);
        const QString path = writeFile(QStringLiteral("v%1.avi").arg(size), size);
        const OSHashResult result = OSHashAlgorithm::hashForPath(path);
        EXPECT_EQ(result.size, quint64(size));
        EXPECT_EQ(result.hash, expectedHash(quint64(size)));
        EXPECT_EQ(OSHashAlgorithm::hashForURL(QUrl::fromLocalFile(path)), result);
    }
}

TEST_F(OSHashAlgorithmTest, SparseFileBeyondFourGibibytes)
{
    const quint64 size = (quint64(1) << 32) + 70001;
    const QString path = m_dir.filePath("big.mkv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(size)));
    file.write(bytesFrom(0, 65536));
    ASSERT_TRUE(file.seek(qint64(size) - 65536));
    file.write(bytesFrom(size - 65536, 65536));
    file.close();
    const OSHashResult result = OSHashAlgorithm::hashForPath(path);
    EXPECT_EQ(result.size, size);
    EXPECT_EQ(result.hash, expectedHash(size));
}

TEST_F(OSHashAlgorithmTest, ZeroFileAndTextForm)
{
    const QString path = m_dir.filePath("zero.avi");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(65536, '\0'));
    file.close();
    const OSHashResult result = OSHashAlgorithm::hashForPath(path);
    EXPECT_EQ(result.hash, 65536u);
    EXPECT_EQ(OSHashAlgorithm::stringForHash(result.hash), QStringLiteral("0000000000010000"));
    EXPECT_EQ(OSHashAlgorithm::stringForHash(0xab), QStringLiteral("00000000000000ab"));
    EXPECT_EQ(OSHashAlgorithm::stringForHash(~quint64(0)), QStringLiteral("ffffffffffffffff"));
}

TEST_F(OSHashAlgorithmTest, UnusablePathsGiveNoHash)
{
    EXPECT_EQ(OSHashAlgorithm::hashForPath(m_dir.filePath("missing.avi")), OSHashResult{});
    EXPECT_EQ(OSHashAlgorithm::hashForPath(QString()), OSHashResult{});
    EXPECT_EQ(OSHashAlgorithm::hashForPath(m_dir.path()), OSHashResult{});
    EXPECT_EQ(OSHashAlgorithm::hashForURL(QUrl(QStringLiteral("http://example.invalid/a.avi"))),
              OSHashResult{});
    EXPECT_EQ(OSHashAlgorithm::hashForFile(nullptr), OSHashResult{});
    // Opening a FIFO for reading would wait for a writer; it must come back at once.
    const QString fifo = m_dir.filePath("pipe.avi");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(OSHashAlgorithm::hashForPath(fifo), OSHashResult{});
}

TEST_F(OSHashAlgorithmTest, ShortReadGivesNoHashNeverAPartialSum)
{
    QByteArray data = bytesFrom(0, 100000);
    ShrinkingDevice device(&data);
    ASSERT_TRUE(device.open(QIODevice::ReadOnly));
    EXPECT_EQ(OSHashAlgorithm::hashForFile(&device), OSHashResult{});

    QBuffer honest(&data);
    ASSERT_TRUE(honest.open(QIODevice::ReadOnly));
    EXPECT_EQ(OSHashAlgorithm::hashForFile(&honest), (OSHashResult{expectedHash(100000), 100000}));
}
