#include "services/TNZipFile.h"

#include "common/TestSupport.h"
#include "fakes/services/ZipArchiveBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using Fakes::ZipArchiveBuilder;

namespace {

class RecordingDelegate final : public TNZipFileDelegate
{
public:
    void zipDidReport(const QString &message) override { messages.append(message); }
    bool zipShouldReplaceFile(const QString &path) override
    {
        asked.append(path);
        return replace;
    }

    QStringList messages;
    QStringList asked;
    bool replace = false;
};

class TNZipFileTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString write(const ZipArchiveBuilder &builder, const QString &name = "a.zip")
    {
        const QString file = path(name);
        EXPECT_TRUE(builder.writeTo(file));
        return file;
    }

    std::optional<QList<ZipEntry>> readAll(const QString &file)
    {
        TNZipFile zip;
        zip.setDelegate(&m_delegate);
        zip.openForReading(file);
        auto entries = zip.readAllEntries();
        m_fileEntries = zip.fileEntryCount();
        EXPECT_TRUE(zip.closeReading());
        return entries;
    }

    static QByteArray contents(const QString &file) { return TestSupport::fileContents(file); }
    static void writeFile(const QString &file, const QByteArray &data)
    {
        ASSERT_TRUE(TestSupport::writeFile(file, data));
    }

    QTemporaryDir m_dir;
    RecordingDelegate m_delegate;
    qsizetype m_fileEntries = -1;
};

TEST_F(TNZipFileTest, ReadsFilesInArchiveOrderLeavingFoldersOut)
{
    ZipArchiveBuilder builder;
    builder.addFolder("Subs/")
        .addFile("Subs/Film.srt", "1\r\nHello\r\n")
        .addFolder("Other\\")
        .add({"readme.txt", "stored", ZipArchiveBuilder::Method::Stored})
        .addFile("empty.srt", "");
    const auto entries = readAll(write(builder));
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 3);
    EXPECT_EQ((*entries)[0].filename, "Subs/Film.srt");
    EXPECT_EQ((*entries)[0].data, "1\r\nHello\r\n");
    EXPECT_EQ((*entries)[1].filename, "readme.txt");
    EXPECT_EQ((*entries)[1].data, "stored");
    EXPECT_EQ((*entries)[2].filename, "empty.srt");
    EXPECT_TRUE((*entries)[2].data.isEmpty());
    EXPECT_EQ(m_fileEntries, 3);
    EXPECT_TRUE(m_delegate.messages.isEmpty());
}

TEST_F(TNZipFileTest, FoldersOnlyArchiveGivesEmptyListAndNonArchiveGivesNothing)
{
    ZipArchiveBuilder folders;
    folders.addFolder("A/").addFolder("A/B/");
    const auto empty = readAll(write(folders));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->isEmpty());

    writeFile(path("plain.srt"), "1\r\n00:00:01,000 --> 00:00:02,000\r\nHi\r\n");
    TNZipFile zip;
    zip.setDelegate(&m_delegate);
    EXPECT_FALSE(zip.openForReading(path("plain.srt")));
    EXPECT_FALSE(zip.readAllEntries());
    EXPECT_EQ(m_delegate.messages, QStringList{"Cannot reach the first entry"});
    EXPECT_TRUE(zip.closeReading());
    EXPECT_FALSE(zip.openForReading(path("missing.zip")));
}

TEST_F(TNZipFileTest, CorruptEntriesAreDroppedAndTheRestKept)
{
    ZipArchiveBuilder builder;
    builder.add({"stored.srt", "bad stored", ZipArchiveBuilder::Method::Stored, true, true})
        .add({"deflated.srt", QByteArray(10000, 'x'), ZipArchiveBuilder::Method::Deflated, true,
              true})
        .addFile("good.srt", "good");
    const auto entries = readAll(write(builder));
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1);
    EXPECT_EQ(entries->first().filename, "good.srt");
    EXPECT_EQ(m_fileEntries, 3) << "entries left out still count";
    EXPECT_EQ(m_delegate.messages.count("Cannot read the entry"), 2);
}

TEST_F(TNZipFileTest, TruncatedArchiveNeverYieldsAPartialEntry)
{
    ZipArchiveBuilder builder;
    builder.addFile("Film.srt", QByteArray(50000, 'a') + QByteArray(50000, 'b'));
    QByteArray bytes = builder.build();
    // Keep the directory at the end but cut the compressed data short in the middle.
    const QByteArray tail = bytes.right(bytes.size() - bytes.lastIndexOf("PK\x01\x02"));
    const qsizetype dataLength = bytes.size() - tail.size();
    QByteArray damaged = bytes.left(dataLength / 2) + QByteArray(dataLength - dataLength / 2, '\0');
    damaged.append(tail);
    writeFile(path("cut.zip"), damaged);
    const auto entries = readAll(path("cut.zip"));
    ASSERT_TRUE(entries);
    EXPECT_TRUE(entries->isEmpty());
}

TEST_F(TNZipFileTest, DecompressedSizesAreCappedPerEntryAndPerArchive)
{
    const QByteArray big(TNZipFile::MaximumEntrySize + 1, '\0');
    const QByteArray quarter(TNZipFile::MaximumArchiveSize / 4, '\0');
    ZipArchiveBuilder builder;
    builder.addFile("bomb.srt", big)
        .addFile("small.srt", "ok")
        .addFile("q1.srt", quarter)
        .addFile("q2.srt", quarter)
        .addFile("q3.srt", quarter)
        .addFile("q4.srt", quarter)
        .addFile("after.srt", "never read");
    const QString file = write(builder);
    EXPECT_LT(QFileInfo(file).size(), 1024 * 1024);
    const auto entries = readAll(file);
    ASSERT_TRUE(entries);
    QStringList names;
    for (const ZipEntry &entry : *entries)
        names.append(entry.filename);
    // The skipped entry's inflated bytes count against the archive too.
    EXPECT_EQ(names, (QStringList{"small.srt", "q1.srt"}));
    EXPECT_EQ(m_delegate.messages.count("The entry is too large"), 2);
    EXPECT_EQ(m_fileEntries, 7) << "entries past the archive's budget are counted, not read";
}

TEST_F(TNZipFileTest, EntriesSharingTheirDataAreRefused)
{
    ZipArchiveBuilder builder;
    builder.addFile("s00.srt", QByteArray(TNZipFile::MaximumEntrySize + 1, '\0'))
        .addOverlapping(19, "s", 2);
    EXPECT_FALSE(readAll(write(builder)));
    EXPECT_TRUE(m_delegate.messages.contains("The entries overlap"));
}

TEST_F(TNZipFileTest, ArchivesOfTooManyEntriesAreRefused)
{
    ZipArchiveBuilder builder;
    builder.add({"e00000.srt", "", ZipArchiveBuilder::Method::Stored})
        .addOverlapping(TNZipFile::MaximumEntryCount, "e", 5);
    EXPECT_FALSE(readAll(write(builder)));
    EXPECT_TRUE(m_delegate.messages.contains("The archive has too many entries"));
}

TEST_F(TNZipFileTest, EntriesStoredByAnUnknownMethodAreUnreadable)
{
    ZipArchiveBuilder builder;
    builder.add({"Film.srt", "BZh91AY&SY compressed", ZipArchiveBuilder::Method::Bzip2})
        .addFile("good.srt", "good");
    const auto entries = readAll(write(builder));
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1);
    EXPECT_EQ(entries->first().filename, "good.srt");
    EXPECT_EQ(m_fileEntries, 2);
}

TEST_F(TNZipFileTest, NamesThatAreNotUtf8StillGiveARecord)
{
    ZipArchiveBuilder builder;
    builder.add({"Caf\xe9 \x82t\xe9.srt", "x", ZipArchiveBuilder::Method::Deflated, false})
        .add({"\xc3\xa9t\xc3\xa9.srt", "y"});
    const auto entries = readAll(write(builder));
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2);
    EXPECT_TRUE((*entries)[0].filename.startsWith("Caf"));
    EXPECT_TRUE((*entries)[0].filename.endsWith(".srt"));
    EXPECT_EQ((*entries)[0].filename.size(), 12);
    EXPECT_EQ((*entries)[1].filename, QString::fromUtf8("\xc3\xa9t\xc3\xa9.srt"));
}

TEST_F(TNZipFileTest, TraversalNamesAreReadAsStoredButNeverExtractedOutside)
{
    ZipArchiveBuilder builder;
    builder.addFile("../../evil.srt", "evil")
        .addFile("/tmp/trovanel-abs-evil.srt", "evil")
        .addFile("a/../../evil2.srt", "evil")
        .addFile("sub\\inner.srt", "inner")
        .addFolder("made/")
        .addFile("./plain.srt", "plain");
    const QString file = write(builder);
    const auto entries = readAll(file);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->first().filename, "../../evil.srt");

    const QString out = path("out/deeper");
    TNZipFile zip;
    ASSERT_TRUE(zip.openForReading(file));
    EXPECT_TRUE(zip.extractToFolder(out, false, QString()));
    zip.closeReading();
    EXPECT_EQ(contents(out + "/sub/inner.srt"), "inner");
    EXPECT_EQ(contents(out + "/plain.srt"), "plain");
    EXPECT_TRUE(QFileInfo(out + "/made").isDir());
    EXPECT_FALSE(QFileInfo::exists(path("evil.srt")));
    EXPECT_FALSE(QFileInfo::exists(path("out/evil2.srt")));
    EXPECT_FALSE(QFileInfo::exists("/tmp/trovanel-abs-evil.srt"));
    EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              (QStringList{"made", "plain.srt", "sub"}));
    EXPECT_EQ(QFileInfo(out + "/plain.srt").lastModified(),
              QDateTime(QDate(2020, 1, 1), QTime(12, 0)));
}

TEST_F(TNZipFileTest, ExtractionSkipsFilteredOverwritesOnlyWhenAllowedAndKeepsGoodFiles)
{
    ZipArchiveBuilder builder;
    builder.addFile("keep.srt", "new")
        .addFile("skip.NFO", "info")
        .add({"corrupt.srt", "bad", ZipArchiveBuilder::Method::Stored, true, true});
    const QString file = write(builder);
    const QString out = path("out");
    QDir().mkpath(out);
    writeFile(out + "/keep.srt", "old");
    writeFile(out + "/corrupt.srt", "good old");

    TNZipFile zip;
    zip.setDelegate(&m_delegate);
    ASSERT_TRUE(zip.openForReading(file));
    EXPECT_TRUE(zip.extractToFolder(out, false, "nfo"));
    EXPECT_EQ(contents(out + "/keep.srt"), "old");
    EXPECT_FALSE(QFileInfo::exists(out + "/skip.NFO"));
    EXPECT_EQ(m_delegate.asked, (QStringList{out + "/keep.srt", out + "/corrupt.srt"}));

    m_delegate.replace = true;
    EXPECT_TRUE(zip.extractToFolder(out, false, QString()));
    EXPECT_EQ(contents(out + "/keep.srt"), "new");
    EXPECT_EQ(contents(out + "/skip.NFO"), "info");
    EXPECT_EQ(contents(out + "/corrupt.srt"), "good old");
    EXPECT_TRUE(m_delegate.messages.contains("Cannot extract the entry"));
    zip.closeReading();

    TNZipFile unopened;
    EXPECT_FALSE(unopened.extractToFolder(out, true, QString()));
}

TEST_F(TNZipFileTest, WrittenArchivesReadBackWithAndWithoutPassword)
{
    writeFile(path("one.srt"), "first subtitle");
    writeFile(path("two.srt"), QByteArray(20000, 'z'));

    TNZipFile writer;
    EXPECT_FALSE(writer.addFile(path("one.srt"), "one.srt"));
    EXPECT_FALSE(writer.closeWriting());
    ASSERT_TRUE(writer.createForWriting(path("plain.zip")));
    EXPECT_TRUE(writer.addFile(path("one.srt"), "Sous-titres/été.srt"));
    EXPECT_TRUE(writer.addFile(path("two.srt"), "two.srt"));
    EXPECT_FALSE(writer.addFile(path("missing.srt"), "missing.srt"));
    EXPECT_TRUE(writer.closeWriting());

    auto entries = readAll(path("plain.zip"));
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2);
    EXPECT_EQ((*entries)[0].filename, "Sous-titres/été.srt");
    EXPECT_EQ((*entries)[0].data, "first subtitle");
    EXPECT_EQ((*entries)[1].data, QByteArray(20000, 'z'));

    ASSERT_TRUE(writer.createForWriting(path("locked.zip"), "hunter2"));
    EXPECT_TRUE(writer.addFile(path("one.srt"), "one.srt"));
    EXPECT_TRUE(writer.closeWriting());

    const QByteArray locked = contents(path("locked.zip"));
    EXPECT_FALSE(locked.contains("first subtitle"));
    EXPECT_EQ(locked[6] & 1, 1);
    EXPECT_FALSE(readAll(path("locked.zip")));
    EXPECT_TRUE(m_delegate.messages.contains("Cannot open the entry"));

    TNZipFile reader;
    ASSERT_TRUE(reader.openForReading(path("locked.zip"), "hunter2"));
    entries = reader.readAllEntries();
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1);
    EXPECT_EQ(entries->first().data, "first subtitle");
    EXPECT_TRUE(reader.closeReading());
    // The password goes with the archive it was given for.
    ASSERT_TRUE(reader.openForReading(path("locked.zip")));
    EXPECT_FALSE(reader.readAllEntries());
    reader.closeReading();

    ASSERT_TRUE(reader.openForReading(path("locked.zip"), "wrong"));
    entries = reader.readAllEntries();
    ASSERT_TRUE(entries);
    EXPECT_TRUE(entries->isEmpty());
    reader.closeReading();

    // Deflated and larger than one read.
    ASSERT_TRUE(writer.createForWriting(path("locked2.zip"), "hunter2"));
    EXPECT_TRUE(writer.addFile(path("two.srt"), "two.srt"));
    EXPECT_TRUE(writer.closeWriting());
    ASSERT_TRUE(reader.openForReading(path("locked2.zip"), "hunter2"));
    entries = reader.readAllEntries();
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1);
    EXPECT_EQ(entries->first().data, QByteArray(20000, 'z'));
    reader.closeReading();

    // Replacing, never appending.
    ASSERT_TRUE(writer.createForWriting(path("plain.zip")));
    EXPECT_TRUE(writer.addFile(path("two.srt"), "only.srt"));
    EXPECT_TRUE(writer.closeWriting());
    entries = readAll(path("plain.zip"));
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1);
    EXPECT_EQ(entries->first().filename, "only.srt");
}

TEST(TNZipFileStatic, ExtensionFilterAndEpoch)
{
    EXPECT_FALSE(TNZipFile::passesExtensionFilter("a.srt", "srt"));
    EXPECT_FALSE(TNZipFile::passesExtensionFilter("dir/A.SRT", "srt"));
    EXPECT_TRUE(TNZipFile::passesExtensionFilter("a.sub", "srt"));
    EXPECT_TRUE(TNZipFile::passesExtensionFilter("srt", "srt"));
    EXPECT_TRUE(TNZipFile::passesExtensionFilter("a.srt", QString()));
    EXPECT_TRUE(TNZipFile::passesExtensionFilter("a.srt", ""));
    EXPECT_EQ(TNZipFile::dosEpoch(), QDateTime(QDate(1980, 1, 1), QTime(0, 0)));

    TNZipFile zip;
    EXPECT_TRUE(zip.closeReading());
    EXPECT_FALSE(zip.readAllEntries());
}

} // namespace
