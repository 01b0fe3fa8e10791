#include "platform/ApplicationFolders.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

bool isPrivate(const QString &folder)
{
    const QFileInfo info(folder);
    return info.isDir() && !info.isSymLink() && (info.permissions() & 0x0077) == 0;
}

} // namespace

TEST(ApplicationFolders, PrivateFoldersAreMadeOrTightenedButNeverThroughALink)
{
    QTemporaryDir root;
    QString problem;
    const QString made = root.filePath(QStringLiteral("a/b/cache"));
    EXPECT_TRUE(ApplicationFolders::makePrivate(made, &problem)) << qPrintable(problem);
    EXPECT_TRUE(isPrivate(made));

    const QString open = root.filePath(QStringLiteral("open"));
    ASSERT_TRUE(QDir().mkpath(open));
    QFile::setPermissions(open, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                    QFileDevice::ExeOther);
    EXPECT_TRUE(ApplicationFolders::makePrivate(open, &problem)) << qPrintable(problem);
    EXPECT_TRUE(isPrivate(open));

    const QString link = root.filePath(QStringLiteral("link"));
    QFile::setPermissions(open, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                    QFileDevice::ExeOther);
    ASSERT_TRUE(QFile::link(open, link));
    EXPECT_FALSE(ApplicationFolders::makePrivate(link, &problem));
    EXPECT_EQ(problem, QStringLiteral("something other than a folder stands there"));
    EXPECT_FALSE(isPrivate(open)) << "the link's target is left alone";

    const QString file = root.filePath(QStringLiteral("file"));
    ASSERT_TRUE(TestSupport::writeFile(file, "x"));
    EXPECT_FALSE(ApplicationFolders::makePrivate(file, &problem));
}
