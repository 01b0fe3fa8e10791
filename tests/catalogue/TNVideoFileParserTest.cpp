#include "catalogue/TNVideoFileParser.h"
#include "catalogue/regex/RegexAdditions.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

const QString SeasonEpisode = QStringLiteral("S(\\d+)E(\\d+)");
const QString Year = QStringLiteral("(?<!\\d)\\d{4}(?!\\d)");
const QString Release = QStringLiteral("(?:720p|dvdrip|x264)");
const QString Dots = QStringLiteral("[.]");

TNVideoFileParser parserWith(QStringList season, QStringList year, QStringList clean)
{
    return TNVideoFileParser(std::move(season), std::move(year), {}, std::move(clean),
                             QStringLiteral("/unused/tvs.db"));
}

class TNVideoFileParserTest : public ::testing::Test
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    const TNVideoFileParser m_parser = parserWith({SeasonEpisode}, {Year}, {Release, Dots});
};

} // namespace

TEST_F(TNVideoFileParserTest, WorkingTextIsTheNameWithoutExtensionPlusAFullStop)
{
    const ParserResult r = m_parser.parseFile(QStringLiteral("/v/Show.Name.S01E02.720p.mkv"));
    EXPECT_EQ(r.name, QStringLiteral("Show Name"));
    EXPECT_EQ(r.season, 1);
    EXPECT_EQ(r.episode, 2);
    EXPECT_EQ(r.year, std::nullopt);
    EXPECT_EQ(r.release, QStringLiteral("720p."));
    EXPECT_EQ(r.fileType, VideoFileTypeTVShow);

    const std::optional<TNVideoFileParser::ReleaseInfo> release =
        m_parser.findReleaseInfo(QStringLiteral("Show.S01E02.720p."));
    ASSERT_TRUE(release);
    EXPECT_EQ(release->releaseRange, 12);
    const auto seasonEpisode = m_parser.parseSeasonEpisode(QStringLiteral("Show.S01E02.720p."));
    ASSERT_TRUE(seasonEpisode);
    EXPECT_EQ(seasonEpisode->fileRange, 5);
}

TEST_F(TNVideoFileParserTest, TitleCutAndWholeTextCases)
{
    // A year at position 0 keeps the whole working text as the title.
    ParserResult r = m_parser.parseFile(QStringLiteral("1999.Movie.avi"));
    EXPECT_EQ(r.year, 1999);
    EXPECT_EQ(r.name, QStringLiteral("1999 Movie"));
    EXPECT_EQ(r.fileType, VideoFileTypeMovie);

    // Nothing found: the cleaned whole text, an empty release and type 0.
    r = m_parser.parseFile(QStringLiteral("Home.Video.avi"));
    EXPECT_EQ(r.name, QStringLiteral("Home Video"));
    EXPECT_EQ(r.release, QString(""));
    EXPECT_FALSE(r.release.isNull());
    EXPECT_EQ(r.fileType, VideoFileTypeUndetermined);
    EXPECT_FALSE(r.season || r.episode || r.year);

    // The earliest of the three positions wins.
    r = m_parser.parseFile(QStringLiteral("Film.720p.2010.mkv"));
    EXPECT_EQ(r.name, QStringLiteral("Film"));
    EXPECT_EQ(r.year, 2010);
}

TEST_F(TNVideoFileParserTest, SeasonAndEpisodeThatSpellTheYearAreDropped)
{
    // A pattern that splits a year: 10 x 199 + 9 == 1999.
    const TNVideoFileParser splitting =
        parserWith({QStringLiteral("(\\d{3})(\\d)")}, {Year}, {Dots});
    ParserResult r = splitting.parseFile(QStringLiteral("Old.Film.1999.avi"));
    EXPECT_EQ(r.year, 1999);
    EXPECT_FALSE(r.season);
    EXPECT_FALSE(r.episode);
    EXPECT_EQ(r.fileType, VideoFileTypeMovie);
    EXPECT_EQ(r.name, QStringLiteral("Old Film"));

    // 10 x 20 + 10 == 210 is not 2010: both are kept.
    r = m_parser.parseFile(QStringLiteral("Show.2010.S20E10.avi"));
    EXPECT_EQ(r.year, 2010);
    EXPECT_EQ(r.season, 20);
    EXPECT_EQ(r.episode, 10);
    EXPECT_EQ(r.fileType, VideoFileTypeTVShow);
    EXPECT_EQ(r.name, QStringLiteral("Show"));
}

TEST_F(TNVideoFileParserTest, YearComponentsOutOfRangeFallThrough)
{
    // Only the first match counts; its components are tried in order.
    const TNVideoFileParser parser =
        parserWith({}, {QStringLiteral("(\\d{4})-(\\d{4})"), QStringLiteral("\\[(\\d{4})\\]")}, {});
    std::optional<TNVideoFileParser::YearInfo> year =
        parser.parseYear(QStringLiteral("A.2050-1999.B.1899-2000.[2005]."));
    ASSERT_TRUE(year);
    EXPECT_EQ(year->yearInfo, 1999);
    EXPECT_EQ(year->yearRange, 7);

    // 2050 and 1899 do not qualify in the first match: the next pattern is tried.
    year = parser.parseYear(QStringLiteral("A.2050-1899.B.1950-1960.[2005]."));
    ASSERT_TRUE(year);
    EXPECT_EQ(year->yearInfo, 2005);

    // The position is the first occurrence of the text anywhere, even before the match.
    year = parser.parseYear(QStringLiteral("1999.x.[1999]."));
    ASSERT_TRUE(year);
    EXPECT_EQ(year->yearRange, 0);

    EXPECT_FALSE(parser.parseYear(QStringLiteral("No.year.here.")));
}

TEST_F(TNVideoFileParserTest, ReleaseTagsInPatternOrderCutAtTheFirstFound)
{
    const TNVideoFileParser parser =
        parserWith({}, {},
                   {QStringLiteral("x264|dvdrip"), QStringLiteral("noise"),
                    QStringLiteral("(?:720p)|DVDRIP"), Dots});
    const ParserResult r = parser.parseFile(QStringLiteral("Film.720p.noise.DVDRip.x264.mkv"));
    // Matches of the first dvdrip pattern, then of the second; "noise" is no release pattern.
    EXPECT_EQ(r.release, QStringLiteral("DVDRip.x264.720p.DVDRip."));
    // The title ends at the first text found (DVDRip), not at the earliest tag (720p).
    EXPECT_EQ(r.name, QStringLiteral("Film"));
    const auto release = parser.findReleaseInfo(QStringLiteral("Film.720p.noise.DVDRip.x264."));
    ASSERT_TRUE(release);
    EXPECT_EQ(release->releaseRange, 16);
    EXPECT_EQ(parser.cleanupName(QStringLiteral("Film.720p.noise.")), QStringLiteral("Film     "));
}

TEST_F(TNVideoFileParserTest, EmptyListsAndBrokenPatternsNeverFail)
{
    const TNVideoFileParser empty = parserWith({}, {}, {});
    ParserResult r = empty.parseFile(QStringLiteral("Show.S01E02.avi"));
    EXPECT_EQ(r.name, QStringLiteral("Show.S01E02."));
    EXPECT_EQ(r.release, QString(""));
    EXPECT_EQ(r.fileType, VideoFileTypeUndetermined);
    EXPECT_FALSE(empty.findReleaseInfo(QStringLiteral("x.")));
    EXPECT_FALSE(empty.parseYear(QStringLiteral("2010.")));
    EXPECT_FALSE(empty.parseSeasonEpisode(QStringLiteral("S01E02.")));

    // Patterns that do not compile, or have too few groups, are passed over.
    const TNVideoFileParser broken =
        parserWith({QStringLiteral("S(\\d+"), QStringLiteral("S\\d+E(\\d+)"), SeasonEpisode},
                   {QStringLiteral("(?<=\\d+)\\d{4}"), Year}, {QStringLiteral("[dvdrip"), Dots});
    r = broken.parseFile(QStringLiteral("Show.S03E04.2010.avi"));
    EXPECT_EQ(r.season, 3);
    EXPECT_EQ(r.episode, 4);
    EXPECT_EQ(r.year, 2010);
    EXPECT_EQ(r.name, QStringLiteral("Show"));

    for (const char *odd : {"", ".avi", "name.", "/", "no-extension", ".", "..."}) {
        SCOPED_TRACE(odd);
        const ParserResult any = m_parser.parseFile(QString::fromUtf8(odd));
        EXPECT_EQ(any.fileType, VideoFileTypeUndetermined);
        EXPECT_FALSE(any.name.isNull());
    }
    EXPECT_EQ(m_parser.parseFile(QString()).name, QString(""));
}

TEST_F(TNVideoFileParserTest, AnEmptyGroupLeavesItsNumberOut)
{
    const TNVideoFileParser parser =
        parserWith({SeasonEpisode, QStringLiteral("Ep()(\\d+)"), QStringLiteral("Season(\\d+)()")},
                   {Year}, {Dots});
    // An episode alone is kept, and a video with a year only is still a film.
    ParserResult r = parser.parseFile(QStringLiteral("Show.Ep7.2010.avi"));
    EXPECT_EQ(r.season, std::nullopt);
    EXPECT_EQ(r.episode, 7);
    EXPECT_EQ(r.name, QStringLiteral("Show"));
    EXPECT_EQ(r.fileType, VideoFileTypeMovie);
    // A season alone only ends the title.
    r = parser.parseFile(QStringLiteral("Show.Season2.Extras.avi"));
    EXPECT_FALSE(r.season || r.episode);
    EXPECT_EQ(r.name, QStringLiteral("Show"));
    EXPECT_EQ(r.fileType, VideoFileTypeUndetermined);
    // A release name without an extension keeps its last word.
    r = parser.parseFile(QStringLiteral("Show.S01E03"));
    EXPECT_EQ(r.episode, 3);
    EXPECT_EQ(parser.parseFile(QStringLiteral("Film.2014")).year, 2014);
}

TEST_F(TNVideoFileParserTest, NumbersThatDoNotFitAreNoNumbers)
{
    EXPECT_FALSE(m_parser.parseSeasonEpisode(QStringLiteral("S99999999999E01.")));
    const auto fits = m_parser.parseSeasonEpisode(QStringLiteral("S2147483647E01."));
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->fileSeason, std::optional<qint32>(2147483647));
}

TEST_F(TNVideoFileParserTest, PositionsCountUtf16Units)
{
    // The emoji takes two UTF-16 units, so the year starts at 8.
    const QString text = QStringLiteral("\U0001F3AC.Film.2010.");
    const auto year = m_parser.parseYear(text);
    ASSERT_TRUE(year);
    EXPECT_EQ(year->yearRange, 8);
    EXPECT_EQ(m_parser.parseFile(QStringLiteral("\U0001F3AC.Film.2010.mkv")).name,
              QStringLiteral("\U0001F3AC Film"));
}

TEST(TNVideoFileParserBundled, ResourceHoldsFourUsableLists)
{
    const TNVideoFileParser parser = TNVideoFileParser::withBundledExpressions();
    EXPECT_FALSE(parser.regexSeason().isEmpty());
    EXPECT_FALSE(parser.regexYear().isEmpty());
    EXPECT_FALSE(parser.regexFolder().isEmpty());
    EXPECT_FALSE(parser.regexClean().isEmpty());
    for (const QStringList *list : {&parser.regexSeason(), &parser.regexYear(),
                                    &parser.regexFolder(), &parser.regexClean()}) {
        for (const QString &pattern : *list)
            EXPECT_TRUE(rx::isRegexValid(pattern, rx::RegexOption::CaseInsensitive))
                << pattern.toStdString();
    }
    int releasePatterns = 0;
    for (const QString &pattern : parser.regexClean())
        releasePatterns += pattern.contains(QLatin1String("dvdrip"), Qt::CaseInsensitive) ? 1 : 0;
    EXPECT_EQ(releasePatterns, 1);
}

TEST(TNVideoFileParserBundled, NoPatternSplitsABareFourDigitNumberOrReadsAYearAsEpisode)
{
    QLocale::setDefault(QLocale::c());
    const TNVideoFileParser parser = TNVideoFileParser::withBundledExpressions();
    const QStringList shapes{QStringLiteral("Title.%1."),
                             QStringLiteral("Title %1 HDTV."),
                             QStringLiteral("Title.%1.720p.HDTV.x264."),
                             QStringLiteral("Title - %1 - Name."),
                             QStringLiteral("[%1]."),
                             QStringLiteral("Title (%1)."),
                             QStringLiteral("%1.")};
    for (int number = 1000; number <= 9999; ++number) {
        for (const QString &shape : shapes) {
            const QString text = shape.arg(number);
            // An absolute episode may have four digits, a year may not.
            const auto found = parser.parseSeasonEpisode(text);
            const bool year = number >= 1900 && number < 2050;
            ASSERT_FALSE(found && (found->fileSeason || year))
                << text.toStdString() << " read as season " << found->fileSeason.value_or(-1)
                << " episode " << found->fileEpisode.value_or(-1);
        }
    }
    QLocale::setDefault(QLocale::system());
}

TEST(TNVideoFileParserBundled, AnEmptyTitleSearchesForTheCleanedFileName)
{
    const TNVideoFileParser parser = TNVideoFileParser::withBundledExpressions();
    const QString path = QStringLiteral("S01E02_720p..x264.mkv");
    const QString name = parser.parseFile(path).name;
    ASSERT_EQ(name, QStringLiteral(""));
    EXPECT_EQ(TNVideoFileParser::searchKeyword(name, path), QStringLiteral("S01E02 720p x264"));
    EXPECT_EQ(TNVideoFileParser::searchKeyword(QStringLiteral(" \n"), path),
              QStringLiteral("S01E02 720p x264"));
    EXPECT_EQ(TNVideoFileParser::searchKeyword(QStringLiteral("Show"), path),
              QStringLiteral("Show"));
}

TEST(TNVideoFileParserBundled, AFileWithoutTitleTakesItFromTheFoldersAbove)
{
    QLocale::setDefault(QLocale::c());
    const TNVideoFileParser parser = TNVideoFileParser::withBundledExpressions();
    struct Case
    {
        const char *path;
        const char *name;
        std::optional<qint32> season, episode, year;
    };
    for (const Case &c : std::initializer_list<Case>{
             {"Breaking Bad/Season 02/04 - Down.mkv", "Breaking Bad", 2, 4, std::nullopt},
             {"/home/me/TV/Breaking Bad/Season 02/04 - Down.mkv", "Breaking Bad", 2, 4,
              std::nullopt},
             {"Mad Men/S04/07 The Suitcase.mkv", "Mad Men", 4, 7, std::nullopt},
             {"Dark (2017)/Staffel 2/E05.mkv", "Dark", 2, 5, 2017},
             {"Anime/Sopranos/Extras/S02E04.mkv", "Sopranos", 2, 4, std::nullopt},
             // A collection of shows ends the walk: no title comes from above it.
             {"/home/me/Downloads/S01E02.mkv", "", 1, 2, std::nullopt},
             {"One Piece/Season 01/One Piece - 005.mkv", "One Piece", 1, 5, std::nullopt},
             {"Fringe/Season 2/Other.Show.S03E05.mkv", "Other Show", 3, 5, std::nullopt},
             {"[DeadFish] 01 - Tari Tari.mp4", "Tari Tari", std::nullopt, 1, std::nullopt},
             {"Film (HDRip / 2014)", "Film", std::nullopt, std::nullopt, 2014},
             {"/", "/", std::nullopt, std::nullopt, std::nullopt},
         }) {
        SCOPED_TRACE(c.path);
        const ParserResult r = parser.parseFile(QString::fromUtf8(c.path));
        EXPECT_EQ(r.name, QString::fromUtf8(c.name));
        EXPECT_EQ(r.season, c.season);
        EXPECT_EQ(r.episode, c.episode);
        EXPECT_EQ(r.year, c.year);
    }
    // Control characters are no part of a title.
    EXPECT_EQ(
        parser.parseFile(QStringLiteral("Film") + QChar(0) + QStringLiteral("Name.2010.mkv")).name,
        QStringLiteral("Film Name"));
    QLocale::setDefault(QLocale::system());
}

TEST(TNVideoFileParserBundled, ResolutionsDatesAndColourSpacesAreNoSeasonEpisodeOrYear)
{
    QLocale::setDefault(QLocale::c());
    const TNVideoFileParser parser = TNVideoFileParser::withBundledExpressions();
    struct Case
    {
        const char *name;
        std::optional<qint32> year;
    };
    for (const Case &c : std::initializer_list<Case>{
             {"The.Daily.Show.2016.05.18.720.HDTV.x264-W4F.mkv", std::nullopt},
             {"Late.Night.2019-11-04.480.HDTV.mkv", std::nullopt},
             {"Late Night 04.11.2019 Guest.mkv", std::nullopt},
             {"Film.2010.5.1.x264.mkv", 2010},
             {"Fargo.-.Season.1.-.720p.BluRay.-.x264.mkv", std::nullopt},
             {"Film.720.HDTV.XviD.avi", std::nullopt},
             {"Film [576].mkv", std::nullopt},
             {"Film.1280x720.x264.mkv", std::nullopt},
             {"Film.720x480.XviD.avi", std::nullopt},
             {"Film (1920x1080 h264).mkv", std::nullopt},
             {"Film.2019.2160p.HDR.BT.2020.HEVC-GRP.mkv", 2019},
             {"Film.2160p.HDR10.BT2020.x265.mkv", std::nullopt},
             {"Film.Rec.2020.HDTV.mkv", std::nullopt},
             {"Film.Rec.709.HDTV.mkv", std::nullopt},
             {"Film.BT.709.x264.mkv", std::nullopt},
             {"Film.H.264.x265.mkv", std::nullopt},
         }) {
        SCOPED_TRACE(c.name);
        const ParserResult r = parser.parseFile(QString::fromLatin1(c.name));
        EXPECT_FALSE(r.season || r.episode)
            << r.season.value_or(-1) << "x" << r.episode.value_or(-1);
        EXPECT_EQ(r.year, c.year);
    }
    QLocale::setDefault(QLocale::system());
}

TEST(TNVideoFileParserBundled, FortyThousandCharacterNamesAreReadWhole)
{
    // A pattern whose cost grows with the square of the name runs out of its
    // matching time on these, and the answer below then goes missing.
    QLocale::setDefault(QLocale::c());
    const TNVideoFileParser parser = TNVideoFileParser::withBundledExpressions();
    const qsizetype length = 40000;
    const auto repeated = [length](const char *unit) {
        QString text;
        while (text.size() < length)
            text += QString::fromLatin1(unit);
        return text;
    };

    ParserResult r = parser.parseFile(QStringLiteral("Show") + repeated(".") +
                                      QStringLiteral("S01E02.720p.mkv"));
    EXPECT_EQ(r.season, 1);
    EXPECT_EQ(r.episode, 2);
    EXPECT_EQ(r.name, QStringLiteral("Show"));

    r = parser.parseFile(QStringLiteral("[Grp] Show") + repeated(".") +
                         QStringLiteral(" - 05 [720p].mkv"));
    EXPECT_EQ(r.name, QStringLiteral("Show"));

    r = parser.parseFile(QStringLiteral("Film.") + repeated("1999.") + QStringLiteral("2010.mkv"));
    EXPECT_EQ(r.year, 2010);

    r = parser.parseFile(QStringLiteral("Film ") + repeated("(") + QStringLiteral(" (2011).mkv"));
    EXPECT_EQ(r.year, 2011);

    r = parser.parseFile(QStringLiteral("Film") + repeated(" - ") + QStringLiteral(" 2012.avi"));
    EXPECT_EQ(r.year, 2012);
    EXPECT_EQ(r.name, QStringLiteral("Film"));

    r = parser.parseFile(QStringLiteral("[Grp] Show") + repeated(" 1") +
                         QStringLiteral(" S02E03.mkv"));
    EXPECT_EQ(r.season, 2);
    EXPECT_EQ(r.episode, 3);

    r = parser.parseFile(repeated("Show.S01.") + QStringLiteral("1x05.mkv"));
    EXPECT_EQ(r.season, 1);
    EXPECT_EQ(r.episode, 5);
    QLocale::setDefault(QLocale::system());
}
