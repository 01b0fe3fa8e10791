#include "catalogue/TNVideoFileParser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <benchmark/benchmark.h>

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

} // namespace
