#include "catalogue/TNVideoFileParser.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace {

// One release name with what it says, as a person reads it.
struct CorpusEntry
{
    QString kind;
    QString fileName;
    QString name;
    std::optional<qint32> season;
    std::optional<qint32> episode;
    std::optional<qint32> year;
};

std::optional<qint32> expectedNumber(const QString &text)
{
    if (text == QLatin1String("-"))
        return std::nullopt;
    return text.toInt();
}

QList<CorpusEntry> readCorpus(const QString &fileName)
{
    const QString path =
        TestSupport::sourcePath(QStringLiteral("tests/catalogue/data/") + fileName);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << path.toStdString();
    QList<CorpusEntry> entries;
    QTextStream stream(&file);
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        EXPECT_EQ(fields.size(), 6) << line.toStdString();
        if (fields.size() != 6)
            continue;
        entries.append({fields[0], fields[1], fields[2], expectedNumber(fields[3]),
                        expectedNumber(fields[4]), expectedNumber(fields[5])});
    }
    return entries;
}

struct Score
{
    int total = 0;
    int right = 0;

    double percent() const { return total ? 100.0 * right / total : 0.0; }
    void count(bool ok)
    {
        ++total;
        right += ok ? 1 : 0;
    }
};

QString describe(const ParserResult &r)
{
    const auto number = [](std::optional<qint32> v) {
        return v ? QString::number(*v) : QStringLiteral("-");
    };
    return QStringLiteral("name \"%1\" season %2 episode %3 year %4")
        .arg(r.name, number(r.season), number(r.episode), number(r.year));
}

class ParserCorpus : public ::testing::Test
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

} // namespace

TEST_F(ParserCorpus, ReadsRealWorldReleaseNames)
{
    const TNVideoFileParser parser = TNVideoFileParser::withBundledExpressions();
    QList<CorpusEntry> corpus;
    for (const char *file :
         {"ParserCorpusTv.tsv", "ParserCorpusAnime.tsv", "ParserCorpusMovies.tsv",
          "ParserCorpusShapes.tsv", "ParserCorpusVaried.tsv", "ParserCorpusWild.tsv"})
        corpus += readCorpus(QString::fromLatin1(file));
    ASSERT_GE(corpus.size(), 3400);

    Score seasonEpisode, year, title;
    // Numbers that are there but wrong mislead a search more than numbers left out.
    int wrongEpisodes = 0, falseYears = 0;
    QHash<QString, Score> titleByKind;
    for (const CorpusEntry &entry : std::as_const(corpus)) {
        const ParserResult result = parser.parseFile(entry.fileName);
        const bool numbers = result.season == entry.season && result.episode == entry.episode;
        const bool dated = result.year == entry.year;
        const bool named =
            result.name.simplified().compare(entry.name.simplified(), Qt::CaseInsensitive) == 0;
        wrongEpisodes += result.episode && !numbers ? 1 : 0;
        falseYears += result.year && result.year != entry.year ? 1 : 0;
        seasonEpisode.count(numbers);
        year.count(dated);
        title.count(named);
        titleByKind[entry.kind].count(named);
        if (!numbers || !dated || !named)
            std::printf("  miss: %s\n        got %s\n", qPrintable(entry.fileName),
                        qPrintable(describe(result)));
    }
    std::printf("Parser corpus: %d names\n"
                "  season and episode right: %d/%d (%.1f%%)\n"
                "  year right:               %d/%d (%.1f%%)\n"
                "  title right:              %d/%d (%.1f%%)\n"
                "  wrong episodes: %d, wrong years: %d\n",
                int(corpus.size()), seasonEpisode.right, seasonEpisode.total,
                seasonEpisode.percent(), year.right, year.total, year.percent(), title.right,
                title.total, title.percent(), wrongEpisodes, falseYears);
    for (auto kind = titleByKind.cbegin(); kind != titleByKind.cend(); ++kind)
        std::printf("  title right, %s: %.1f%%\n", qPrintable(kind.key()), kind.value().percent());
    EXPECT_GE(seasonEpisode.percent(), 99.0);
    EXPECT_GE(year.percent(), 99.0);
    EXPECT_GE(title.percent(), 98.0);
    EXPECT_LE(wrongEpisodes, corpus.size() / 500);
    EXPECT_LE(falseYears, corpus.size() / 500);
}
