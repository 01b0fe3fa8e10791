#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

// Whatever Qt or the program writes lands in the test's own home, in folders others cannot
// read, never beside the tree or in a shared temporary folder.
TEST(FreshStart, EveryWritableFolderIsAPrivateFolderOfTheTestHome)
{
    const QString home = QFileInfo(qEnvironmentVariable("XDG_CONFIG_HOME")).path();
    const QFile::Permissions shared = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    for (const QString &path :
         {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
          QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
          QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation),
          QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), QDir::tempPath()}) {
        const QFileInfo folder(path);
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(folder.path(), home);
        EXPECT_TRUE(folder.isDir());
        EXPECT_FALSE(folder.permissions() & shared);
    }
}
