#include "catalogue/VideoFile.h"
#include "catalogue/TNModelController.h"

#include <gtest/gtest.h>

namespace {

class VideoFileTest : public ::testing::Test
{
protected:
    TNModelController store;
    VideoFile *video = store.insertVideoFile(QStringLiteral("/videos/Show.S01E02.avi"));
};

TEST_F(VideoFileTest, StartsWithInsertionDefaultsAndEverythingElseAbsent)
{
    EXPECT_EQ(video->isLeaf(), false);
    EXPECT_EQ(video->modified(), false);
    EXPECT_EQ(video->filetype(), VideoFileTypeUndetermined);
    EXPECT_EQ(video->fileName(), QStringLiteral("/videos/Show.S01E02.avi"));
    EXPECT_FALSE(video->name());
    EXPECT_FALSE(video->fileHash());
    EXPECT_FALSE(video->releaseInfo());
    EXPECT_FALSE(video->season());
    EXPECT_FALSE(video->episode());
    EXPECT_FALSE(video->year());
    EXPECT_FALSE(video->status());
    EXPECT_FALSE(video->fileSize());
    EXPECT_EQ(video->parent(), nullptr);
    EXPECT_TRUE(video->subtitles().isEmpty());
}

TEST_F(VideoFileTest, ZeroAndEmptyAreValuesNotAbsence)
{
    video->setSeason(0);
    video->setName(QStringLiteral(""));
    video->setFileSize(0);
    EXPECT_EQ(video->season(), 0);
    EXPECT_EQ(video->name(), QStringLiteral(""));
    EXPECT_EQ(video->fileSize(), 0);
    video->setSeason(std::nullopt);
    EXPECT_FALSE(video->season());
}

TEST_F(VideoFileTest, DisplayValuesFollowTheFileType)
{
    video->setName(QStringLiteral("Show"));
    video->setSeason(1);
    video->setEpisode(12);
    video->setYear(2010);
    video->setFileHash(QStringLiteral("00ab12cd34ef5678"));
    EXPECT_EQ(video->lastPathComponent(), QStringLiteral("Show"));

    video->setFiletype(VideoFileTypeTVShow);
    EXPECT_EQ(video->lastPathComponent(),
              QStringLiteral("TVShow: Show . 1x12. Hash:00ab12cd34ef5678"));

    video->setFiletype(VideoFileTypeMovie);
    EXPECT_EQ(video->lastPathComponent(),
              QStringLiteral("Movie: Show. Year 2010. Hash00ab12cd34ef5678"));

    video->setFiletype(std::nullopt);
    EXPECT_EQ(video->lastPathComponent(), QStringLiteral("Show"));

    EXPECT_EQ(video->rating(), 0);
    EXPECT_EQ(video->language(), QStringLiteral(""));
    EXPECT_FALSE(video->language().isNull());
}

TEST_F(VideoFileTest, AbsentValuesAndPlaceholdersInNamesShowAsWritten)
{
    EXPECT_EQ(video->lastPathComponent(), QStringLiteral(""));
    video->setFiletype(VideoFileTypeTVShow);
    EXPECT_EQ(video->lastPathComponent(), QStringLiteral("TVShow:  . x. Hash:"));

    video->setName(QStringLiteral("50%2off %1"));
    video->setYear(1999);
    video->setFileHash(QStringLiteral(""));
    video->setFiletype(VideoFileTypeMovie);
    EXPECT_EQ(video->lastPathComponent(), QStringLiteral("Movie: 50%2off %1. Year 1999. Hash"));
}

} // namespace
