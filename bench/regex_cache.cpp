// What the compiled-pattern cache buys: one file-name pattern matched 100,000
// times, found in the cache versus compiled again for every match.
#include "catalogue/regex/RegexAdditions.h"

#include <benchmark/benchmark.h>

namespace {

const QString Pattern = QStringLiteral("[ ._-]s(\\d{1,2})[ ._-]?e(\\d{1,3})");
const QString FileName = QStringLiteral("The.Big.Bang.Theory.S05E12.720p.HDTV.X264-DIMENSION.mkv");

void captureComponents()
{
    benchmark::DoNotOptimize(rx::arrayOfCaptureComponentsMatchedByRegex(
        FileName, Pattern, rx::RegexOption::CaseInsensitive));
}

void cached(benchmark::State &state)
{
    for (auto _ : state)
        captureComponents();
}

void compiledEachTime(benchmark::State &state)
{
    for (auto _ : state) {
        rx::clearStringCache();
        captureComponents();
    }
}

} // namespace

BENCHMARK(cached)->Iterations(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(compiledEachTime)->Iterations(100000)->Unit(benchmark::kMicrosecond);
