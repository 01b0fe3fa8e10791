#include "catalogue/FileManager.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>

using namespace FileManager;

namespace {

class FileManagerTest : public ::testing::Test
{
protected:
    QString at(const QString &relative) const { return m_root + QLatin1Char('/') + relative; }

    void makeFile(const QString &relative) const
    {
        QFile file(at(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("data");
    }
    void makeFolder(const QString &relative) const { ASSERT_TRUE(QDir().mkpath(at(relative))); }
    void makeLink(const QString &target, const QString &relative) const
    {
        ASSERT_TRUE(QFile::link(target, at(relative)));
    }

    QTemporaryDir m_dir;
    const QString m_root = QDir(m_dir.path()).canonicalPath();
};

} // namespace

TEST_F(FileManagerTest, ExistenceTestsFollowLinksAndTellFilesFromFolders)
{
    makeFile("file");
    makeFolder("folder");
    makeLink(at("file"), "fileLink");
    makeLink(at("folder"), "folderLink");
    makeLink(at("gone"), "brokenLink");

    EXPECT_TRUE(fileExists(at("file")));
    EXPECT_FALSE(fileExists(at("folder")));
    EXPECT_TRUE(fileExists(at("fileLink")));
    EXPECT_FALSE(fileExists(at("folderLink")));
    EXPECT_FALSE(fileExists(at("brokenLink")));
    EXPECT_FALSE(fileExists(at("missing")));

    EXPECT_TRUE(folderExists(at("folder")));
    EXPECT_FALSE(folderExists(at("file")));
    EXPECT_TRUE(folderExists(at("folderLink")));
    EXPECT_FALSE(folderExists(at("brokenLink")));
    EXPECT_FALSE(folderExists(at("missing")));

    for (const QString &nothing : {QString(), QString("")}) {
        EXPECT_FALSE(fileExists(nothing));
        EXPECT_FALSE(folderExists(nothing));
    }
}

TEST_F(FileManagerTest, ApplicationSupportDirectoryIsCreatedOnceUnderTheDataFolder)
{
    const QString expected =
        QDir(qEnvironmentVariable("XDG_DATA_HOME"))
            .filePath(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    ASSERT_FALSE(QFileInfo::exists(expected));
    EXPECT_EQ(applicationSupportDirectory(), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_EQ(applicationSupportDirectory(), expected);
}

TEST_F(FileManagerTest, FindOrCreateDirectoryReportsWhatStandsInTheWay)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    ASSERT_TRUE(QDir().mkpath(data));
    QFile blocker(data + "/blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    Error error;
    EXPECT_TRUE(findOrCreateDirectory(QStandardPaths::GenericDataLocation, SearchPathDomain::User,
                                      "blocked", &error)
                    .isNull());
    EXPECT_EQ(error.domain(), "AppFolderErrorDomain");
    EXPECT_EQ(error.code(), 1);
    EXPECT_EQ(error.localizedDescription(), "File exists at requested directory location.");
    EXPECT_EQ(error.userInfo().value("NSSearchPathDirectory").toInt(),
              int(QStandardPaths::GenericDataLocation));
    EXPECT_EQ(error.userInfo().value("NSSearchPathDomainMask").toInt(), 1);

    // The platform's own reason is handed on when the creation itself fails.
    EXPECT_TRUE(findOrCreateDirectory(QStandardPaths::GenericDataLocation, SearchPathDomain::User,
                                      "blocked/inner", &error)
                    .isNull());
    EXPECT_EQ(error.domain(), PosixErrorDomain);
    EXPECT_EQ(error.code(), ENOTDIR);

    EXPECT_TRUE(findOrCreateDirectory(QStandardPaths::GenericDataLocation, SearchPathDomain::System,
                                      "x", &error)
                    .isNull());
    EXPECT_EQ(error.domain(), "AppFolderErrorDomain");
    EXPECT_EQ(error.code(), 0);
    EXPECT_EQ(error.localizedDescription(), "No path found for directory in domain.");
    EXPECT_EQ(error.userInfo().value("NSSearchPathDomainMask").toInt(), 8);

    const QString nested = findOrCreateDirectory(QStandardPaths::GenericDataLocation,
                                                 SearchPathDomain::User, "a/b/c", &error);
    EXPECT_EQ(nested, data + "/a/b/c");
    EXPECT_TRUE(QFileInfo(nested).isDir());
    EXPECT_TRUE(error.isNull());
    EXPECT_EQ(findOrCreateDirectory(QStandardPaths::GenericDataLocation, SearchPathDomain::User,
                                    QString(), nullptr),
              data);
}

TEST_F(FileManagerTest, DeletingALinkLeavesItsTargetIntact)
{
    makeFolder("target/inner");
    makeFile("target/inner/keep.srt");
    makeLink(at("target"), "link");
    deleteFile(at("link/"));
    EXPECT_FALSE(QFileInfo(at("link")).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(at("target/inner/keep.srt")));

    makeLink(at("loopB"), "loopB2");
    makeLink(at("loopB2"), "loopB");
    deleteFile(at("loopB"));
    EXPECT_FALSE(QFileInfo(at("loopB")).isSymLink());
    EXPECT_TRUE(QFileInfo(at("loopB2")).isSymLink());
}

TEST_F(FileManagerTest, DeleteRemovesFilesAndFoldersButRefusesUnsafePaths)
{
    makeFolder("tree/sub");
    makeFile("tree/sub/a.srt");
    makeFile("single.srt");
    deleteFile(at("single.srt"));
    EXPECT_FALSE(QFileInfo::exists(at("single.srt")));

    makeFolder("keep");
    makeFile("keep/file");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_root));
    for (const QString &unsafe :
         {QString(), QString(""), QString("/"), QString("//"), QString("keep"), QString("./keep"),
          at("keep/.."), at("keep/."), at("tree/../keep")})
        deleteFile(unsafe);
    QDir::setCurrent(previous);
    EXPECT_TRUE(QFileInfo::exists(at("keep/file")));
    EXPECT_TRUE(QFileInfo::exists(at("tree/sub/a.srt")));

    deleteFile(at("tree"));
    EXPECT_FALSE(QFileInfo::exists(at("tree")));
    deleteFile(at("missing"));
}

TEST_F(FileManagerTest, MoveFileReportsFailure)
{
    makeFile("from");
    EXPECT_TRUE(moveFile(at("from"), at("to")));
    EXPECT_TRUE(QFileInfo::exists(at("to")));
    EXPECT_FALSE(QFileInfo::exists(at("from")));
    EXPECT_FALSE(moveFile(at("from"), at("again")));
    EXPECT_FALSE(moveFile(QString(), at("again")));
}
