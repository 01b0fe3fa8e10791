#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"

#include <gtest/gtest.h>

namespace {

class SubtitleTest : public ::testing::Test
{
protected:
    // A video and a candidate that share nothing: every point a test sees comes from what
    // the test sets.
    void SetUp() override
    {
        video->setFileHash(QStringLiteral("0123456789abcdef"));
        video->setName(QStringLiteral("video name"));
        subtitle->setFileName(QStringLiteral("other"));
        subtitle->setFileHash(QStringLiteral("fedcba9876543210"));
        subtitle->setName(QStringLiteral("other name"));
        store.addSubtitle(subtitle, video);
    }

    qint32 rated()
    {
        subtitle->calculateRating();
        return subtitle->rating();
    }

    TNModelController store;
    VideoFile *video = store.insertVideoFile(QStringLiteral("/films/video.mkv"));
    Subtitle *subtitle = store.insertSubtitle();
};

TEST(SubtitleEntityTest, StartsAsAnUnratedLeafWithoutParentOrStatus)
{
    TNModelController store;
    const Subtitle *subtitle = store.insertSubtitle();
    EXPECT_EQ(subtitle->isLeaf(), true);
    EXPECT_EQ(subtitle->parent(), nullptr);
    EXPECT_EQ(subtitle->rating(), 0);
    EXPECT_EQ(subtitle->ratingValue(), 0);
    EXPECT_FALSE(subtitle->status());
    EXPECT_FALSE(subtitle->fileName());
    EXPECT_FALSE(subtitle->downloadURL());
    EXPECT_FALSE(subtitle->subtitleID());
    EXPECT_FALSE(subtitle->service());
    EXPECT_TRUE(subtitle->language().isNull());
    EXPECT_TRUE(subtitle->subtitles().isEmpty());
}

TEST(SubtitleEntityTest, ShowsNameAndLanguageWithAbsentValuesEmpty)
{
    TNModelController store;
    Subtitle *subtitle = store.insertSubtitle();
    EXPECT_EQ(subtitle->lastPathComponent(), QStringLiteral(" . []"));
    subtitle->setName(QStringLiteral("Foo"));
    subtitle->setLanguage(QStringLiteral("en"));
    EXPECT_EQ(subtitle->lastPathComponent(), QStringLiteral("Foo . [en]"));
    subtitle->setName(QStringLiteral("50%2off"));
    EXPECT_EQ(subtitle->lastPathComponent(), QStringLiteral("50%2off . [en]"));
    EXPECT_EQ(subtitle->language(), QStringLiteral("en"));
}

TEST(SubtitleEntityTest, WithoutParentTheRatingKeepsItsValue)
{
    TNModelController store;
    Subtitle *subtitle = store.insertSubtitle();
    subtitle->calculateRating();
    EXPECT_EQ(subtitle->rating(), 0);
    subtitle->setRatingValue(33);
    subtitle->calculateRating();
    EXPECT_EQ(subtitle->rating(), 33);
}

TEST_F(SubtitleTest, NothingInCommonScoresNothing)
{
    EXPECT_EQ(rated(), 0);
}

TEST_F(SubtitleTest, HashesCompareIgnoringCaseAndAnAbsentCandidateHashMatches)
{
    subtitle->setFileHash(QStringLiteral("0123456789ABCDEF"));
    EXPECT_EQ(rated(), 120);
    subtitle->setFileHash(std::nullopt);
    EXPECT_EQ(rated(), 120);
    video->setFileHash(std::nullopt);
    EXPECT_EQ(rated(), 120);
    subtitle->setFileHash(QStringLiteral(""));
    EXPECT_EQ(rated(), 0);
    video->setFileHash(QStringLiteral(""));
    EXPECT_EQ(rated(), 120);
    // Zero padding is part of the text: a short form does not match.
    video->setFileHash(QStringLiteral("00000000000000ff"));
    subtitle->setFileHash(QStringLiteral("ff"));
    EXPECT_EQ(rated(), 0);
}

TEST_F(SubtitleTest, NamesCompareIgnoringCaseAndAnAbsentCandidateNameMatches)
{
    subtitle->setName(QStringLiteral("VIDEO Name"));
    EXPECT_EQ(rated(), 10);
    subtitle->setName(std::nullopt);
    EXPECT_EQ(rated(), 10);
    video->setName(std::nullopt);
    EXPECT_EQ(rated(), 10);
    subtitle->setName(QStringLiteral(""));
    EXPECT_EQ(rated(), 0);
}

TEST_F(SubtitleTest, NumbersScoreOnlyWhenBothSidesHaveTheSameValue)
{
    subtitle->setSeason(0);
    subtitle->setEpisode(3);
    subtitle->setYear(2001);
    EXPECT_EQ(rated(), 0);
    video->setSeason(0);
    EXPECT_EQ(rated(), 4);
    video->setEpisode(3);
    EXPECT_EQ(rated(), 8);
    video->setYear(2001);
    EXPECT_EQ(rated(), 9);
    video->setYear(2002);
    subtitle->setEpisode(std::nullopt);
    EXPECT_EQ(rated(), 4);
}

TEST_F(SubtitleTest, DifferentBaseNamesStillScoreSharedTokensAndOneKeyword)
{
    video->setFileName(QStringLiteral("/tv/show.s01e02.720p.x264.mkv"));
    subtitle->setFileName(QStringLiteral("Show.S01E02.720p.srt"));
    EXPECT_EQ(rated(), 3 * 2 + 7);
}

TEST_F(SubtitleTest, EqualBaseNamesScoreWithTheirTokensAndKeyword)
{
    video->setFileName(QStringLiteral("/tv/Show.R5.avi"));
    subtitle->setFileName(QStringLiteral("show.R5.srt"));
    EXPECT_EQ(rated(), 90 + 2 * 2 + 7);
}

TEST_F(SubtitleTest, RepeatedAndEmptyTokensCountEachTimeButTheKeywordOnce)
{
    video->setFileName(QStringLiteral("/m/film (2010) [720p] proper.mkv"));
    subtitle->setFileName(QStringLiteral("film..film-720p-proper.srt"));
    // film, "", film, 720p, proper: all five are among the video's tokens.
    EXPECT_EQ(rated(), 5 * 2 + 7);
    video->setFileName(QStringLiteral("/m/film.mkv"));
    EXPECT_EQ(rated(), 2 * 2);
}

TEST_F(SubtitleTest, AllPointsTogether)
{
    video->setFileName(QStringLiteral("/tv/Show.S01E02.DVDRip.avi"));
    video->setSeason(1);
    video->setEpisode(2);
    video->setYear(2004);
    subtitle->setFileName(QStringLiteral("show.s01e02.dvdrip.srt"));
    subtitle->setFileHash(std::nullopt);
    subtitle->setName(std::nullopt);
    subtitle->setSeason(1);
    subtitle->setEpisode(2);
    subtitle->setYear(2004);
    EXPECT_EQ(rated(), 120 + 90 + 3 * 2 + 7 + 10 + 4 + 4 + 1);
}

TEST_F(SubtitleTest, CandidateWithoutFileNameHasAnEmptyBaseName)
{
    subtitle->setFileName(std::nullopt);
    EXPECT_EQ(rated(), 0);
    video->setFileName(QStringLiteral(""));
    // "" against "" is equal, and each yields the one empty token.
    EXPECT_EQ(rated(), 90 + 2);
}

} // namespace
