#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"

#include <benchmark/benchmark.h>

namespace {

QString videoPath(qsizetype i)
{
    return QStringLiteral("/library/Show %1/Show.S01E%2.720p.x264.mkv").arg(i / 20).arg(i % 20);
}

// Importing a library, then importing it again: every second call finds its video.
void BM_ImportAndReimport(benchmark::State &state)
{
    const qsizetype count = state.range(0);
    QStringList paths;
    for (qsizetype i = 0; i < count; ++i)
        paths.append(videoPath(i));
    for (auto _ : state) {
        TNModelController store;
        for (const QString &path : std::as_const(paths))
            benchmark::DoNotOptimize(store.insertVideoFile(path));
        for (const QString &path : std::as_const(paths))
            benchmark::DoNotOptimize(store.insertVideoFile(path));
    }
    state.SetItemsProcessed(state.iterations() * count * 2);
}
BENCHMARK(BM_ImportAndReimport)->Arg(10000);

// What a search does per received candidate: attach, rate, select again.
void BM_RateAndSelect(benchmark::State &state)
{
    const qsizetype candidates = state.range(0);
    const QStringList languages = {QStringLiteral("en"), QStringLiteral("fr"),
                                   QStringLiteral("de")};
    for (auto _ : state) {
        TNModelController store;
        VideoFile *video = store.insertVideoFile(videoPath(7));
        video->setName(QStringLiteral("Show"));
        video->setFileHash(QStringLiteral("00ab12cd34ef5678"));
        video->setSeason(1);
        video->setEpisode(7);
        for (qsizetype i = 0; i < candidates; ++i) {
            Subtitle *subtitle = store.insertSubtitle();
            subtitle->setFileName(QStringLiteral("Show.S01E07.%1.HDTV.srt").arg(i));
            subtitle->setLanguage(languages.at(i % languages.size()));
            subtitle->setSeason(1);
            subtitle->setEpisode(static_cast<qint32>(i % 9));
            subtitle->setParent(video);
            subtitle->calculateRating(*video);
            store.checkHighestSubtitle(video);
        }
    }
    state.SetItemsProcessed(state.iterations() * candidates);
}
BENCHMARK(BM_RateAndSelect)->Arg(100);

} // namespace
