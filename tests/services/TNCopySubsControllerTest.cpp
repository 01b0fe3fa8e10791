#include "services/TNCopySubsController.h"

#include "catalogue/ServiceKeys.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "common/TestSupport.h"
#include "fakes/services/ZipArchiveBuilder.h"
#include "platform/UserDefaults.h"
#include "services/SubtitleWriteOperation.h"
#include "services/TNZipFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using Fakes::ZipArchiveBuilder;

namespace {

const QByteArray Content = "1\r\n00:00:01,000 --> 00:00:02,000\r\nHello\r\n";

QStringList logged;

void keepMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    logged.append(message);
}

class TNCopySubsControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        QDir(m_root.path()).mkpath("v");
        QDir(m_root.path()).mkpath("tmp");
        QDir(m_root.path()).mkpath("downloads");
        m_previousTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(path("tmp")));
        setRename(false);
        setAppendLanguage(false);
        set(TNUserDefaultsHelper::ReplaceTxtFileExtensionKey, QVariant());
        set(TNUserDefaultsHelper::DownloadDestinationKey, 0);
        set(TNUserDefaultsHelper::DownloadFolderKey, QVariant());
        m_video = m_store.insertVideoFile(path("v/Film.mkv"));
    }

    void TearDown() override { qputenv("TMPDIR", m_previousTemp); }

    static void set(const QString &key, const QVariant &value)
    {
        UserDefaults::standard().setValue(key, value);
    }
    static void setRename(bool on) { set(TNUserDefaultsHelper::RenameSubToVideoNameKey, on); }
    static void setAppendLanguage(bool on)
    {
        set(TNUserDefaultsHelper::AlwaysAppendLanguageKey, on);
    }

    QString path(const QString &relative) const { return m_root.filePath(relative); }

    Subtitle *subtitle(const QString &service, const QString &fileName,
                       const QString &language = "en")
    {
        Subtitle *subtitle = m_store.insertSubtitle();
        subtitle->setService(service);
        subtitle->setFileName(fileName);
        subtitle->setLanguage(language);
        subtitle->setSubtitleID(QStringLiteral("../../victim"));
        m_store.addSubtitle(subtitle, m_video);
        return subtitle;
    }

    static QByteArray contents(const QString &file) { return TestSupport::fileContents(file); }
    static void touch(const QString &file, const QByteArray &data = "existing")
    {
        ASSERT_TRUE(TestSupport::writeFile(file, data));
    }
    QStringList filesIn(const QString &relative) const
    {
        return QDir(path(relative))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir m_root;
    QByteArray m_previousTemp;
    TNModelController m_store;
    VideoFile *m_video = nullptr;
    TNCopySubsController m_writer;
};

TEST_F(TNCopySubsControllerTest, RenamedNamesTakeTheFirstFreeCandidate)
{
    setRename(true);
    Subtitle *sub = subtitle(OpenSubtitlesServiceKey, "Film.DVDRip.srt");
    EXPECT_EQ(m_writer.getDestinationPath(sub, "Film.DVDRip.srt"), path("v/Film.srt"));
    touch(path("v/Film.srt"));
    EXPECT_EQ(m_writer.getDestinationPath(sub, "Film.DVDRip.srt"), path("v/Film.en.srt"));
    touch(path("v/Film.en.srt"));
    EXPECT_EQ(m_writer.getDestinationPath(sub, "Film.DVDRip.srt"), path("v/Film.en1.srt"));
    touch(path("v/Film.en1.srt"));
    EXPECT_EQ(m_writer.getDestinationPath(sub, "Film.DVDRip.srt"), path("v/Film.en2.srt"));
    // A folder does not take a name.
    QDir().mkpath(path("v/Film.en2.srt"));
    EXPECT_EQ(m_writer.getDestinationPath(sub, "Film.DVDRip.srt"), path("v/Film.en2.srt"));

    setAppendLanguage(true);
    QFile::remove(path("v/Film.en.srt"));
    EXPECT_EQ(m_writer.getDestinationPath(sub, "x.srt"), path("v/Film.en.srt"));
    QFile::remove(path("v/Film.srt"));
    EXPECT_EQ(m_writer.getDestinationPath(sub, "x.srt"), path("v/Film.en.srt"));

    // No extension and no language leave no stray dots.
    Subtitle *bare = subtitle(OpenSubtitlesServiceKey, "noext", "");
    setAppendLanguage(false);
    EXPECT_EQ(m_writer.getDestinationPath(bare, "noext"), path("v/Film"));
}

TEST_F(TNCopySubsControllerTest, WhenEveryNumberedNameIsTakenNothingIsWritten)
{
    setRename(true);
    Subtitle *sub = subtitle(OpenSubtitlesServiceKey, "Film.srt");
    touch(path("v/Film.srt"));
    touch(path("v/Film.en.srt"));
    for (int n = 1; n < TNCopySubsController::NumberedNameLimit; ++n)
        touch(path(QStringLiteral("v/Film.en%1.srt").arg(n)), QByteArray::number(n));
    EXPECT_TRUE(m_writer.getDestinationPath(sub, "Film.srt").isNull());
    EXPECT_FALSE(m_writer.copyFile(Content, sub));
    for (int n = 1; n < TNCopySubsController::NumberedNameLimit; ++n)
        EXPECT_EQ(contents(path(QStringLiteral("v/Film.en%1.srt").arg(n))), QByteArray::number(n));
    EXPECT_EQ(filesIn("v").size(), 2 + 49);
}

TEST_F(TNCopySubsControllerTest, PlainNamesKeepTheirOwnNameAndNeverOverwrite)
{
    Subtitle *sub = subtitle(OpenSubtitlesServiceKey, "Film.DVDRip.srt");
    EXPECT_TRUE(m_writer.copyFile(Content, sub));
    EXPECT_EQ(contents(path("v/Film.DVDRip.srt")), Content);
    EXPECT_TRUE(m_writer.copyFile("other", sub));
    EXPECT_EQ(contents(path("v/Film.DVDRip.srt")), Content);

    Subtitle *orphan = m_store.insertSubtitle();
    orphan->setFileName(QStringLiteral("Orphan.srt"));
    EXPECT_TRUE(m_writer.getDestinationPath(orphan, "Orphan.srt").isNull());
    EXPECT_FALSE(m_writer.copyFile(Content, orphan));
}

TEST_F(TNCopySubsControllerTest, ServiceGivenNamesNeverLeaveTheFolder)
{
    for (const QString &name :
         {QStringLiteral("../../escape.srt"), QStringLiteral("/abs/escape.srt"),
          QStringLiteral("..\\..\\escape.srt")}) {
        Subtitle *sub = subtitle(OpenSubtitlesServiceKey, name);
        EXPECT_EQ(m_writer.getDestinationPath(sub, name), path("v/escape.srt"))
            << name.toStdString();
    }
    Subtitle *sub = subtitle(OpenSubtitlesServiceKey, "../../escape.srt");
    EXPECT_TRUE(m_writer.copyFile(Content, sub));
    EXPECT_EQ(filesIn("v"), (QStringList{"escape.srt"}));
    EXPECT_FALSE(QFile::exists(path("escape.srt")));
    for (bool rename : {false, true}) {
        setRename(rename);
        for (const QString &name :
             {QStringLiteral(".."), QStringLiteral("."), QStringLiteral("/"), QStringLiteral("")}) {
            Subtitle *bad = subtitle(OpenSubtitlesServiceKey, name);
            EXPECT_FALSE(m_writer.copyFile(Content, bad)) << name.toStdString() << rename;
        }
    }
    EXPECT_EQ(filesIn("v"), (QStringList{"escape.srt"}));
}

TEST_F(TNCopySubsControllerTest, LinksAtTheDestinationAreNeverWrittenThrough)
{
    QDir().mkpath(path("outside"));
    ASSERT_TRUE(QFile::link(path("outside/target.srt"), path("v/Film.srt")));
    Subtitle *sub = subtitle(OpenSubtitlesServiceKey, "Film.srt");
    EXPECT_FALSE(m_writer.copyFile(Content, sub));

    setRename(true);
    EXPECT_TRUE(m_writer.copyFile(Content, sub));
    EXPECT_EQ(contents(path("v/Film.en.srt")), Content);
    EXPECT_TRUE(filesIn("outside").isEmpty());
    EXPECT_TRUE(QFileInfo(path("v/Film.srt")).isSymLink());
}

TEST_F(TNCopySubsControllerTest, AFailedWriteNamesItsCauseAndLeavesNothing)
{
    logged.clear();
    QLoggingCategory::setFilterRules(QStringLiteral("trovanel.*=true"));
    const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
    Subtitle *sub = subtitle(OpenSubtitlesServiceKey, "Film.srt");
    bool written = true;
    TestSupport::withFileSizeLimit(16, [&] { written = m_writer.copyFile(Content, sub); });
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    EXPECT_FALSE(written);
    EXPECT_TRUE(filesIn("v").isEmpty());
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged.first().endsWith(QStringLiteral("ERROR: File too large")))
        << qPrintable(logged.first());
}

TEST_F(TNCopySubsControllerTest, ANameTakenWhileWritingGivesWayToTheNextFreeName)
{
    // A folder passes the free-name test but fails the final create, as a name another
    // writer takes in between does.
    setRename(true);
    QDir().mkpath(path("v/Film.srt"));
    Subtitle *sub = subtitle(OpenSubtitlesServiceKey, "Film.DVDRip.srt");
    EXPECT_TRUE(m_writer.copyFile(Content, sub));
    EXPECT_EQ(contents(path("v/Film.en.srt")), Content);
    EXPECT_TRUE(m_writer.copyFile("second", sub));
    EXPECT_EQ(contents(path("v/Film.en1.srt")), "second");
    EXPECT_EQ(filesIn("v"), (QStringList{"Film.en.srt", "Film.en1.srt", "Film.srt"}));
}

TEST_F(TNCopySubsControllerTest, NamesShowEveryCharacterAndFitTheFileSystem)
{
    const QString hostile = QStringLiteral("Bad\nName\x1b[31m\x7f\u0085\u2028\ufdd0") +
                            QChar(0xdbff) + QChar(0xdfff) + QChar(0xd800) + QStringLiteral(".srt");
    EXPECT_TRUE(m_writer.copyFile(Content, subtitle(OpenSubtitlesServiceKey, hostile)));
    EXPECT_EQ(contents(path("v/Bad_Name_[31m______.srt")), Content);

    // Every name the file system takes can be written, and a longer one keeps its extension.
    const QString longest = QString(251, QLatin1Char('a')) + QStringLiteral(".srt");
    EXPECT_TRUE(m_writer.copyFile(Content, subtitle(OpenSubtitlesServiceKey, longest)));
    EXPECT_EQ(contents(path("v/" + longest)), Content);
    const QString accents(150, QChar(0xe9));
    EXPECT_TRUE(m_writer.copyFile(Content, subtitle(OpenSubtitlesServiceKey, accents + "x.srt")));
    EXPECT_EQ(contents(path("v/" + accents.left(125) + ".srt")), Content);

    setRename(true);
    setAppendLanguage(true);
    m_video = m_store.insertVideoFile(path("v/" + QString(250, QLatin1Char('b')) + ".mkv"));
    EXPECT_TRUE(m_writer.copyFile(Content, subtitle(OpenSubtitlesServiceKey, "x.srt")));
    EXPECT_EQ(contents(path("v/" + QString(248, QLatin1Char('b')) + ".en.srt")), Content);
    EXPECT_EQ(filesIn("v").size(), 4);
}

TEST_F(TNCopySubsControllerTest, WritingRemovesOnlyItsOwnLongForgottenHiddenFiles)
{
    const QDateTime twoDaysAgo = QDateTime::currentDateTime().addDays(-2);
    const QStringList others = {".Film.srt.part", ".Film.srt.0123ABCD.part",
                                "Film.srt.0123abcd.part", ".Film.srt.0123abcd.partial"};
    for (const QString &name : others + QStringList{".Film.en.srt.0123abcd.part"}) {
        touch(path("v/" + name));
        QFile file(path("v/" + name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(twoDaysAgo, QFileDevice::FileModificationTime));
    }
    // Another copy of the program may be writing this one right now.
    touch(path("v/.Film.de.srt.89abcdef.part"));

    EXPECT_TRUE(m_writer.copyFile(Content, subtitle(OpenSubtitlesServiceKey, "Film.srt")));
    QStringList expected = others + QStringList{".Film.de.srt.89abcdef.part", "Film.srt"};
    expected.sort();
    EXPECT_EQ(QDir(path("v")).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
}

TEST_F(TNCopySubsControllerTest, DownloadFolderHoldsNamesAndCollisionTests)
{
    set(TNUserDefaultsHelper::DownloadDestinationKey, TNUserDefaultsHelper::DownloadToFolder);
    set(TNUserDefaultsHelper::DownloadFolderKey, path("downloads"));
    setRename(true);
    touch(path("v/Film.srt"));
    Subtitle *sub = subtitle(OpenSubtitlesServiceKey, "Film.DVDRip.srt");
    EXPECT_TRUE(m_writer.copyFile(Content, sub));
    EXPECT_EQ(contents(path("downloads/Film.srt")), Content);
    EXPECT_TRUE(m_writer.copyFile(Content, sub));
    EXPECT_EQ(filesIn("downloads"), (QStringList{"Film.en.srt", "Film.srt"}));
    EXPECT_EQ(contents(path("v/Film.srt")), "existing");
}

TEST_F(TNCopySubsControllerTest, TxtExtensionIsReplacedOnlyWhenConfigured)
{
    EXPECT_EQ(m_writer.replaceExtensionIfNeeded("Film.TXT"), "Film.TXT");
    set(TNUserDefaultsHelper::ReplaceTxtFileExtensionKey, "");
    EXPECT_EQ(m_writer.replaceExtensionIfNeeded("Film.txt"), "Film.txt");
    set(TNUserDefaultsHelper::ReplaceTxtFileExtensionKey, "srt");
    EXPECT_EQ(m_writer.replaceExtensionIfNeeded("Film.TXT"), "Film.srt");
    EXPECT_EQ(m_writer.replaceExtensionIfNeeded("Film.sub"), "Film.sub");
    EXPECT_EQ(m_writer.replaceExtensionIfNeeded("txt"), "txt");
    set(TNUserDefaultsHelper::ReplaceTxtFileExtensionKey, "../srt");
    EXPECT_EQ(m_writer.replaceExtensionIfNeeded("Film.txt"), "Film.txt");

    set(TNUserDefaultsHelper::ReplaceTxtFileExtensionKey, "srt");
    setRename(true);
    Subtitle *sub = subtitle(OpenSubtitlesServiceKey, "Show.txt");
    touch(path("v/Film.srt"));
    EXPECT_EQ(m_writer.getDestinationPath(sub, "Show.txt"), path("v/Film.en.srt"));
}

TEST_F(TNCopySubsControllerTest, ArchiveEntryIsChosenByTheServiceRule)
{
    ZipArchiveBuilder pair;
    pair.addFile("readme.txt", "read me").addFile("Film.srt", Content);
    EXPECT_TRUE(m_writer.copyZipFile(pair.build(), subtitle(OpenSubtitlesServiceKey, "Film.SRT")));
    EXPECT_EQ(contents(path("v/Film.srt")), Content);

    ZipArchiveBuilder podnapisi;
    podnapisi.addFile("info.nfo", "info").addFile("Pod.srt", Content);
    EXPECT_TRUE(
        m_writer.copyZipFile(podnapisi.build(), subtitle(PodnapisiServiceKey.toUpper(), "x")));
    EXPECT_EQ(contents(path("v/Pod.srt")), Content);

    ZipArchiveBuilder betaSeries;
    betaSeries.addFile("Show.720p.srt", "a").addFile("show.hdtv.SRT", "b");
    EXPECT_TRUE(
        m_writer.copyZipFile(betaSeries.build(), subtitle(BetaSeriesServiceKey, "Show.HDTV.srt")));
    EXPECT_EQ(contents(path("v/show.hdtv.SRT")), "b");
    EXPECT_FALSE(
        m_writer.copyZipFile(betaSeries.build(), subtitle(BetaSeriesServiceKey, "Other.srt")));

    ZipArchiveBuilder single;
    single.addFile("Subs/anything.weird", "single");
    EXPECT_TRUE(m_writer.copyZipFile(single.build(), subtitle("other.service", "z.srt")));
    EXPECT_EQ(contents(path("v/anything.weird")), "single");
    EXPECT_FALSE(m_writer.copyZipFile(pair.build(), subtitle("other.service", "Film.srt")));
}

TEST_F(TNCopySubsControllerTest, HostileOrBrokenArchivesWriteNothingOutsideOrCorrupt)
{
    ZipArchiveBuilder traversal;
    traversal.addFile("../../../escape.srt", Content);
    EXPECT_TRUE(m_writer.copyZipFile(traversal.build(), subtitle(PodnapisiServiceKey, "x.srt")));
    EXPECT_EQ(contents(path("v/escape.srt")), Content);

    ZipArchiveBuilder corrupt;
    corrupt.add({"bad.srt", Content, ZipArchiveBuilder::Method::Stored, true, true});
    ZipArchiveBuilder folders;
    folders.addFolder("Subs/").addFolder("More/");
    for (const QString &service :
         {OpenSubtitlesServiceKey, PodnapisiServiceKey, BetaSeriesServiceKey}) {
        EXPECT_FALSE(m_writer.copyZipFile(corrupt.build(), subtitle(service, "bad.srt")));
        EXPECT_FALSE(m_writer.copyZipFile(folders.build(), subtitle(service, "bad.srt")));
        EXPECT_FALSE(m_writer.copyZipFile(QByteArray(), subtitle(service, "bad.srt")));
    }
    EXPECT_FALSE(QFile::exists(path("v/bad.srt")));

    // What no reader here can undo, or no one may read, is not a subtitle.
    ZipArchiveBuilder bzip2;
    bzip2.add({"bz.srt", "BZh91AY&SY", ZipArchiveBuilder::Method::Bzip2});
    EXPECT_FALSE(m_writer.copyZipFile(bzip2.build(), subtitle(OpenSubtitlesServiceKey, "bz.srt")));
    TestSupport::writeFile(path("plain.srt"), Content);
    TNZipFile encrypted;
    ASSERT_TRUE(encrypted.createForWriting(path("locked.zip"), QStringLiteral("secret")));
    ASSERT_TRUE(encrypted.addFile(path("plain.srt"), QStringLiteral("locked.srt")));
    ASSERT_TRUE(encrypted.closeWriting());
    EXPECT_FALSE(m_writer.copyZipFile(contents(path("locked.zip")),
                                      subtitle(BetaSeriesServiceKey, "locked.srt")));
    const QByteArray whole = ZipArchiveBuilder().addFile("cut.srt", Content).build();
    EXPECT_FALSE(m_writer.copyZipFile(whole.left(whole.size() / 2),
                                      subtitle(BetaSeriesServiceKey, "cut.srt")));

    EXPECT_EQ(filesIn("v"), (QStringList{"escape.srt"}));
    EXPECT_TRUE(filesIn("tmp").isEmpty());
}

TEST_F(TNCopySubsControllerTest, PlainDataFallsBackOnlyForBetaSeries)
{
    touch(path("tmp/victim.zip"), "keep me");
    EXPECT_TRUE(m_writer.copyZipFile(Content, subtitle(BetaSeriesServiceKey, "Show.fr.srt")));
    EXPECT_EQ(contents(path("v/Show.fr.srt")), Content);
    EXPECT_FALSE(m_writer.copyZipFile(Content, subtitle(PodnapisiServiceKey, "Pod.srt")));
    EXPECT_FALSE(m_writer.copyZipFile(Content, subtitle(OpenSubtitlesServiceKey, "Os.srt")));
    EXPECT_EQ(filesIn("v"), (QStringList{"Show.fr.srt"}));
    EXPECT_EQ(filesIn("tmp"), (QStringList{"victim.zip"}));
    EXPECT_EQ(contents(path("tmp/victim.zip")), "keep me");
}

TEST_F(TNCopySubsControllerTest, FailedWriteAnswersNoAndLeavesWhatStandsThere)
{
    QDir().mkpath(path("v/Film.srt/inside"));
    EXPECT_FALSE(m_writer.copyFile(Content, subtitle(OpenSubtitlesServiceKey, "Film.srt")));
    EXPECT_TRUE(QFileInfo(path("v/Film.srt/inside")).isDir());
    EXPECT_EQ(filesIn("v"), (QStringList{"Film.srt"}));
}

} // namespace

TEST_F(TNCopySubsControllerTest, AnEntryLeftOutStillCountsSoTheOtherIsNotTheOnlyOne)
{
    setRename(true);
    setAppendLanguage(true);
    const QByteArray bzip2Header = "BZh91AY&SY";
    ZipArchiveBuilder podnapisi;
    podnapisi.add({"Film.srt", bzip2Header, ZipArchiveBuilder::Method::Bzip2})
        .addFile("readme.nfo", "Released by nobody");
    EXPECT_FALSE(m_writer.copyZipFile(podnapisi.build(), subtitle(PodnapisiServiceKey, "x", "de")));
    ZipArchiveBuilder betaSeries;
    betaSeries.add({"Show.S01E02.en.srt", bzip2Header, ZipArchiveBuilder::Method::Bzip2})
        .add({"Show.S01E02.srt", Content, ZipArchiveBuilder::Method::Stored, true, true})
        .addFile("Show.nfo", "Released by nobody");
    EXPECT_FALSE(m_writer.copyZipFile(betaSeries.build(),
                                      subtitle(BetaSeriesServiceKey, "Show.S01E02.en.srt")));
    EXPECT_TRUE(filesIn("v").isEmpty());

    // A lone entry beside folders is still the archive's only file.
    ZipArchiveBuilder lone;
    lone.addFolder("Subs/").addFile("Subs/anything.txt", Content);
    EXPECT_TRUE(m_writer.copyZipFile(lone.build(), subtitle(PodnapisiServiceKey, "x", "de")));
    EXPECT_EQ(filesIn("v"), QStringList{"Film.de.txt"});
}

TEST_F(TNCopySubsControllerTest, AWriteKeepsWhatItWasGivenAndRunsEvenOnceCancelled)
{
    setRename(true);
    Subtitle *sub = subtitle(PodnapisiServiceKey, "x");
    std::optional<bool> reported;
    auto write = std::make_shared<SubtitleWriteOperation>(
        ZipArchiveBuilder().addFile("Film.HDTV.srt", Content).build(),
        SubtitleWriteOperation::Content::Archive, SubtitleTarget::of(sub),
        [&](bool written) { reported = written; });
    // Changes after the download was handed over play no part in its writing.
    setRename(false);
    m_store.removeAll();
    write->cancel();
    write->start();
    EXPECT_TRUE(write->isFinished());
    EXPECT_EQ(reported, true);
    EXPECT_EQ(filesIn("v"), QStringList{"Film.srt"});
    EXPECT_EQ(contents(path("v/Film.srt")), Content);
}
