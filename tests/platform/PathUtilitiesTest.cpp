#include "platform/PathUtilities.h"

#include <gtest/gtest.h>

#include <QDir>

#include <pwd.h>
#include <unistd.h>

#include <utility>
#include <vector>

using namespace PathUtilities;

namespace {
using Cases = std::vector<std::pair<QString, QString>>;

template <typename Fn> void expectEach(const Cases &cases, Fn fn)
{
    for (const auto &[input, expected] : cases)
        EXPECT_EQ(fn(input), expected) << "input: \"" << input.toStdString() << '"';
}
} // namespace

TEST(PathUtilities, LastPathComponent)
{
    expectEach({{"/tmp/scratch.tiff", "scratch.tiff"},
                {"/tmp/scratch", "scratch"},
                {"/tmp/", "tmp"},
                {"scratch///", "scratch"},
                {"/", "/"},
                {"///", "/"},
                {"", ""},
                {"plain", "plain"}},
               lastPathComponent);
}

TEST(PathUtilities, PathExtensionTakesTheLastDotOfTheLastComponent)
{
    expectEach({{"/a/b.tar.gz", "gz"},
                {"/tmp/scratch.tiff", "tiff"},
                {".scratch.tiff", "tiff"},
                {"/tmp/scratch..tiff", "tiff"},
                {"/tmp/scratch", ""},
                {"/tmp/", ""},
                {"/v.d/movie", ""},
                {"/v/movie.AVI/", "AVI"},
                {".avi", ""},
                {"/v/.avi", ""},
                {"..", ""},
                {"..avi", ""},
                {"name.", ""},
                {"Show.S01E02.720p.srt", "srt"}},
               pathExtension);
}

TEST(PathUtilities, DeletingPathExtensionKeepsTheRest)
{
    expectEach({{"/tmp/b.tar.gz", "/tmp/b.tar"},
                {"/tmp/", "/tmp"},
                {"scratch.bundle/", "scratch"},
                {"scratch..tiff", "scratch."},
                {".tiff", ".tiff"},
                {"/v.d/movie", "/v.d/movie"},
                {"/", "/"},
                {"", ""},
                {"Show.S01E02.720p.mkv", "Show.S01E02.720p"}},
               deletingPathExtension);
}

TEST(PathUtilities, DeletingLastPathComponent)
{
    expectEach({{"/tmp/scratch.tiff", "/tmp"},
                {"/tmp/lock/", "/tmp"},
                {"/tmp/", "/"},
                {"/tmp", "/"},
                {"/", "/"},
                {"scratch.tiff", ""},
                {"a/b", "a"},
                {"/tmp//x", "/tmp"}},
               deletingLastPathComponent);
}

TEST(PathUtilities, AppendingPathComponentNeverDoublesSeparators)
{
    EXPECT_EQ(appendingPathComponent("/v/", "a.avi"), "/v/a.avi");
    EXPECT_EQ(appendingPathComponent("/v", "a.avi"), "/v/a.avi");
    EXPECT_EQ(appendingPathComponent("/v//", "/sub/a.avi/"), "/v/sub/a.avi");
    EXPECT_EQ(appendingPathComponent("/", "a"), "/a");
    EXPECT_EQ(appendingPathComponent("", "a"), "a");
    EXPECT_EQ(appendingPathComponent("/tmp", ""), "/tmp");
    EXPECT_EQ(appendingPathComponent("rel", "a/b"), "rel/a/b");
}

TEST(PathUtilities, AppendingPathExtension)
{
    EXPECT_EQ(appendingPathExtension("/tmp/scratch.old", "tiff"), "/tmp/scratch.old.tiff");
    EXPECT_EQ(appendingPathExtension("/tmp/scratch.", "tiff"), "/tmp/scratch..tiff");
    EXPECT_EQ(appendingPathExtension("/tmp/", "tiff"), "/tmp.tiff");
    EXPECT_EQ(appendingPathExtension("scratch", "tiff"), "scratch.tiff");
    EXPECT_TRUE(appendingPathExtension("", "tiff").isNull());
    EXPECT_TRUE(appendingPathExtension("/", "tiff").isNull());
    EXPECT_TRUE(appendingPathExtension("/tmp/a", "b/c").isNull());
}

TEST(PathUtilities, ExpandingTilde)
{
    const QString home = QDir::homePath();
    EXPECT_EQ(expandingTildeInPath("~"), home);
    EXPECT_EQ(expandingTildeInPath("~/Movies"), home + "/Movies");
    EXPECT_EQ(expandingTildeInPath("~/Movies/"), home + "/Movies");
    EXPECT_EQ(expandingTildeInPath("/a/~/b"), "/a/~/b");
    EXPECT_EQ(expandingTildeInPath("rel/~"), "rel/~");
    EXPECT_EQ(expandingTildeInPath("~no-such-user-here/x"), "~no-such-user-here/x");
    const passwd *me = getpwuid(getuid());
    ASSERT_NE(me, nullptr);
    EXPECT_EQ(
        expandingTildeInPath(QStringLiteral("~%1/x").arg(QString::fromLocal8Bit(me->pw_name))),
        QString::fromLocal8Bit(me->pw_dir) + "/x");
}

TEST(PathUtilities, StandardizingPath)
{
    expectEach({{"/a//b/./c/", "/a/b/c"},
                {"/a/b/../c", "/a/c"},
                {"/../..", "/"},
                {"/", "/"},
                {"rel/../x", "rel/../x"},
                {"./", "."},
                {"", ""},
                {"~/x/../y", QDir::homePath() + "/y"}},
               standardizingPath);
}

TEST(PathUtilities, LeftWithinBytesNeverSplitsACharacter)
{
    const QString name = QStringLiteral("a\u00e9\U0001F600b");
    EXPECT_EQ(leftWithinBytes(name, 8), name);
    EXPECT_EQ(leftWithinBytes(name, 7), QStringLiteral("a\u00e9\U0001F600"));
    EXPECT_EQ(leftWithinBytes(name, 6), QStringLiteral("a\u00e9"));
    EXPECT_EQ(leftWithinBytes(name, 2), QStringLiteral("a"));
    EXPECT_EQ(leftWithinBytes(name, -1), QString());
}
