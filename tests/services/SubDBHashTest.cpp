#include "services/subdb/SubDbHashAlgorithm.h"

#include "common/TestSupport.h"
#include "services/ShrinkingDevice.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <sys/stat.h>

namespace {

QString md5Text(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QByteArray pattern(qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + i / 251) & 0xff);
    return bytes;
}

class SubDBHashTest : public ::testing::Test
{
protected:
    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(SubDBHashTest, TheServicesSamplesHashToTheirPublishedValues)
{
    for (const char *hash :
         {"edc1981d6459c6111fe36205b4aff6c2", "ffd8d4aa68033dc03d1c8ef373b9028c"}) {
        const QString path =
            TestSupport::fixturePath(QStringLiteral("subdb-hash/subdb_%1.bin").arg(hash));
        ASSERT_TRUE(QFileInfo::exists(path)) << path.toStdString();
        EXPECT_EQ(SubDbHashAlgorithm::hashForPath(path), QLatin1String(hash));
        EXPECT_EQ(SubDbHashAlgorithm::hashForURL(QUrl::fromLocalFile(path)), QLatin1String(hash));
    }
}

TEST_F(SubDBHashTest, FirstAndLastBlocksOverlapInShortFiles)
{
    EXPECT_TRUE(SubDbHashAlgorithm::hashForPath(writeFile("short.avi", pattern(65535))).isNull());
    const QByteArray exact = pattern(65536);
    EXPECT_EQ(SubDbHashAlgorithm::hashForPath(writeFile("exact.avi", exact)),
              md5Text(exact + exact));
    for (const qint64 size : {65537, 100000, 131072, 300001}) {
        SCOPED_TRACE(size);
        const QByteArray bytes = pattern(size);
        const QString hash =
            SubDbHashAlgorithm::hashForPath(writeFile(QStringLiteral("v%1.avi").arg(size), bytes));
        EXPECT_EQ(hash, md5Text(bytes.left(65536) + bytes.right(65536)));
        EXPECT_EQ(hash.size(), 32);
    }
}

TEST_F(SubDBHashTest, UnusableSourcesGiveNoHash)
{
    EXPECT_TRUE(SubDbHashAlgorithm::hashForPath(m_dir.filePath("missing.avi")).isNull());
    EXPECT_TRUE(SubDbHashAlgorithm::hashForPath(QString()).isNull());
    EXPECT_TRUE(SubDbHashAlgorithm::hashForPath(m_dir.path()).isNull());
    EXPECT_TRUE(SubDbHashAlgorithm::hashForURL(QUrl("http://example.invalid/a.avi")).isNull());
    EXPECT_TRUE(SubDbHashAlgorithm::hashForFile(nullptr).isNull());
    // Opening a FIFO for reading would wait for a writer; it must come back at once.
    const QString fifo = m_dir.filePath("pipe.avi");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(SubDbHashAlgorithm::hashForPath(fifo).isNull());
}

TEST_F(SubDBHashTest, DevicesAreReadFromWhereTheyStand)
{
    QByteArray data = pattern(100000);
    QBuffer buffer(&data);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    ASSERT_TRUE(buffer.seek(1000));
    EXPECT_EQ(SubDbHashAlgorithm::hashForFile(&buffer),
              md5Text(data.mid(1000, 65536) + data.right(65536)));
    EXPECT_TRUE(buffer.isOpen());

    ShrinkingDevice shrinking(&data);
    ASSERT_TRUE(shrinking.open(QIODevice::ReadOnly));
    EXPECT_TRUE(SubDbHashAlgorithm::hashForFile(&shrinking).isNull());
}
