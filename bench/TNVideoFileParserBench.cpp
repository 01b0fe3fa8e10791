#include "catalogue/TNVideoFileParser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <benchmark/benchmark.h>

#include <iterator>

namespace {

// The release names of the parser's test corpus.
QStringList corpusNames()
{
    const QDir data(QStringLiteral(TROVANEL_SOURCE_DIR "/tests/catalogue/data"));
    QStringList names;
    for (const QString &file : data.entryList({QStringLiteral("ParserCorpus*.tsv")})) {
        QFile corpus(data.filePath(file));
        if (!corpus.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QTextStream stream(&corpus);
        while (!stream.atEnd()) {
            const QString line = stream.readLine();
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
                names.append(line.section(QLatin1Char('\t'), 1, 1));
        }
    }
    return names;
}

// File names parsed per second, with the bundled patterns, on one thread.
void BM_ParseReleaseNames(benchmark::State &state)
{
    const TNVideoFileParser parser = TNVideoFileParser::withBundledExpressions();
    const QStringList names = corpusNames();
    if (names.isEmpty()) {
        state.SkipWithError("corpus not found");
        return;
    }
    for (auto _ : state) {
        for (const QString &name : names)
            benchmark::DoNotOptimize(parser.parseFile(name));
    }
    state.SetItemsProcessed(state.iterations() * names.size());
}
BENCHMARK(BM_ParseReleaseNames)->Unit(benchmark::kMillisecond);

// One hostile name of 40,000 characters, built from the unit that the argument
// selects; every shape must parse in well under 50 ms.
const char *const HostileUnits[] = {".",         "1999.", "(",  " - ", " 1",
                                    "Show.S01.", "[a] ",  "-",  "_-_", "[",
                                    "a.",        "x264-", "a/", " / ", "Season 1/"};

void BM_ParseFortyThousandCharacterName(benchmark::State &state)
{
    const TNVideoFileParser parser = TNVideoFileParser::withBundledExpressions();
    const QString unit = QString::fromLatin1(HostileUnits[state.range(0)]);
    QString name = QStringLiteral("Title");
    while (name.size() < 40000)
        name += unit;
    name += QStringLiteral(".S01E02.2010.720p.mkv");
    state.SetLabel(unit.toStdString());
    for (auto _ : state)
        benchmark::DoNotOptimize(parser.parseFile(name));
}
BENCHMARK(BM_ParseFortyThousandCharacterName)
    ->DenseRange(0, std::size(HostileUnits) - 1)
    ->Unit(benchmark::kMillisecond);

} // namespace
