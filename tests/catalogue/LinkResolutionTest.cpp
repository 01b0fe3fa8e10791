#include "catalogue/LinkResolution.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

using namespace LinkResolution;

namespace {

class LinkResolutionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(at("real/sub")));
        QFile file(at("real/sub/movie.avi"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        link(at("real"), "absoluteLink");
        link("real/sub", "relativeLink");
        link("absoluteLink", "chain");
        link("nowhere", "broken");
        link("loopB", "loopA");
        link("loopA", "loopB");
    }

    QString at(const QString &relative) const { return m_root + QLatin1Char('/') + relative; }

    void link(const QString &destination, const QString &relative) const
    {
        // QFile::link makes relative destinations absolute; the raw call keeps them as written.
        ASSERT_EQ(::symlink(QFile::encodeName(destination).constData(),
                            QFile::encodeName(at(relative)).constData()),
                  0);
    }

    QTemporaryDir m_dir;
    const QString m_root = QDir(m_dir.path()).canonicalPath();
};

} // namespace

TEST_F(LinkResolutionTest, AliasResolutionGivesOnlyExistingTargets)
{
    EXPECT_EQ(urlByResolvingAlias(at("absoluteLink")), QUrl::fromLocalFile(at("real")));
    EXPECT_EQ(urlByResolvingAlias(at("relativeLink")), QUrl::fromLocalFile(at("real/sub")));
    // One level only: the chain's first hop is itself a link.
    EXPECT_EQ(urlByResolvingAlias(at("chain")), QUrl::fromLocalFile(at("absoluteLink")));
    EXPECT_EQ(stringByConditionallyResolvingAlias(at("relativeLink")), at("real/sub"));
    EXPECT_EQ(stringByResolvingAlias(at("chain")), at("absoluteLink"));
    for (const QString &none : {at("real"), at("real/sub/movie.avi"), at("missing"), at("broken"),
                                at("loopA"), QString()}) {
        EXPECT_TRUE(urlByResolvingAlias(none).isEmpty()) << none.toStdString();
        EXPECT_TRUE(stringByConditionallyResolvingAlias(none).isNull()) << none.toStdString();
        EXPECT_EQ(stringByResolvingAlias(none), none) << none.toStdString();
    }
}

TEST_F(LinkResolutionTest, SymlinkDestinationsAreReadWithoutFollowingThem)
{
    EXPECT_EQ(stringByConditionallyResolvingSymlink(at("relativeLink")), at("real/sub"));
    EXPECT_EQ(stringByConditionallyResolvingSymlink(at("broken")), at("nowhere"));
    EXPECT_EQ(stringByConditionallyResolvingSymlink(at("loopA")), at("loopB"));
    EXPECT_TRUE(stringByConditionallyResolvingSymlink(at("real")).isNull());
    EXPECT_TRUE(stringByConditionallyResolvingSymlink(at("missing")).isNull());

    EXPECT_EQ(stringByResolvingSymlink(at("chain")), at("absoluteLink"));
    EXPECT_EQ(stringByResolvingSymlink(at("real/sub")), at("real/sub"));
}

TEST_F(LinkResolutionTest, IterativeResolutionStopsAtLoopsAndMissingTargets)
{
    EXPECT_EQ(stringByIterativelyResolvingSymlinkOrAlias(at("chain")), at("real"));
    EXPECT_EQ(stringByIterativelyResolvingSymlinkOrAlias(at("real/sub/movie.avi")),
              at("real/sub/movie.avi"));
    EXPECT_TRUE(stringByIterativelyResolvingSymlinkOrAlias(at("loopA")).isNull());
    EXPECT_TRUE(stringByIterativelyResolvingSymlinkOrAlias(at("broken")).isNull());
    EXPECT_TRUE(stringByIterativelyResolvingSymlinkOrAlias(at("missing")).isNull());
}

TEST_F(LinkResolutionTest, FullResolutionWalksEveryComponent)
{
    EXPECT_EQ(stringByResolvingSymlinksAndAliases(at("chain/sub/movie.avi")),
              at("real/sub/movie.avi"));
    EXPECT_EQ(stringByResolvingSymlinksAndAliases(at("relativeLink//./movie.avi")),
              at("real/sub/movie.avi"));
    // ".." is taken away before any link is read, so it never climbs out of a link's target.
    EXPECT_TRUE(stringByResolvingSymlinksAndAliases(at("relativeLink/../sub/movie.avi")).isNull());
    EXPECT_TRUE(stringByResolvingSymlinksAndAliases("relative/path").isNull());
    EXPECT_TRUE(stringByResolvingSymlinksAndAliases(at("loopA/x")).isNull());
    EXPECT_TRUE(stringByResolvingSymlinksAndAliases(at("real/missing")).isNull());
}
