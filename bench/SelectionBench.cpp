#include "common/MainThreadLateness.h"
#include "common/ShownController.h"

#include "app/controller/TNController.h"
#include "app/list/TNMainWindow.h"
#include "app/sheets/TNLastActionResult.h"
#include "app/sheets/TNProgressController.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// What BetaSeries sends for a popular episode: every archive's entries, in two languages,
// under release names that share most of their words with the video's.
QList<TNRemoteSubtitle> betaSeriesReply(ObjectId video, int count)
{
    static const QStringList groups = {QStringLiteral("LOL"), QStringLiteral("DIMENSION"),
                                       QStringLiteral("KILLERS"), QStringLiteral("FQM")};
    static const QStringList qualities = {QStringLiteral("720p.HDTV.x264"),
                                          QStringLiteral("HDTV.XviD"),
                                          QStringLiteral("1080p.WEB-DL.DD5.1.H.264")};
    QList<TNRemoteSubtitle> reply;
    reply.reserve(count);
    for (int i = 0; i < count; ++i) {
        TNRemoteSubtitle subtitle;
        subtitle.videoFileOID = video;
        subtitle.service = BetaSeriesServiceKey;
        subtitle.name = QStringLiteral("");
        subtitle.lang = i % 3 ? QStringLiteral("en") : QStringLiteral("fr");
        subtitle.subtitleID = QStringLiteral("Show.Name.S03E07.%1.zip").arg(i / 4);
        subtitle.downloadURL = QStringLiteral("https://127.0.0.1/subtitles/dl/%1").arg(i / 4);
        subtitle.subFormat = QStringLiteral("");
        subtitle.subFileName =
            QStringLiteral("Show.Name.S03E07.%1-%2.%3.srt")
                .arg(qualities.at(i % qualities.size()), groups.at((i / 3) % groups.size()))
                .arg(i);
        subtitle.imdbID = QStringLiteral("");
        subtitle.releaseInfo = subtitle.subtitleID;
        subtitle.season = 3;
        subtitle.episode = 7;
        reply.append(subtitle);
    }
    return reply;
}

// One reply of many subtitles for one video, handed to the real controller under the real
// window as a search operation hands it: the main thread's own time until every record is
// catalogued and selected, and the longest it kept the window waiting meanwhile.
void BM_SelectReply(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    UserDefaults::standard().setValue(QStringLiteral("lang0"), QStringLiteral("en"));
    TNLastActionResult::defaultActionResult().setLogin(TNLastActionResult::LoggedIn,
                                                       BetaSeriesServiceKey);
    double mainThreadSeconds = 0;
    qint64 worstLateness = 0;
    for (auto _ : state) {
        ShownController shown;
        TNController &controller = shown.controller;
        TNModelController &catalogue = controller.modelController();
        VideoFile *video = catalogue.insertVideoFile(
            QStringLiteral("/library/Show Name/Season 3/Show.Name.S03E07.720p.HDTV.x264-LOL.mkv"));
        video->setName(QStringLiteral("Show Name"));
        video->setSeason(3);
        video->setEpisode(7);
        video->setFiletype(VideoFileTypeTVShow);
        video->setFileHash(QStringLiteral("8e245d9679d31e12"));
        video->setModified(true);
        shown.window.outlineView()->expandAll();
        const QList<TNRemoteSubtitle> reply = betaSeriesReply(video->objectID(), count);
        controller.progressSheet()->startSearch();
        QCoreApplication::processEvents();

        MainThreadLateness lateness;
        const double start = threadCpuSeconds();
        controller.didReceiveSubtitles(reply);
        while (!controller.operationsCount() ||
               catalogue.countSubtitles() != static_cast<std::size_t>(count))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        mainThreadSeconds += threadCpuSeconds() - start;
        worstLateness = std::max(worstLateness, lateness.worstMs());

        if (catalogue.countSubtitlesToDownload() != 2)
            state.SkipWithError("not one candidate selected per language");
        controller.progressSheet()->endSheet();
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["main_thread_s"] = mainThreadSeconds / double(state.iterations());
    state.counters["worst_lateness_ms"] = static_cast<double>(worstLateness);
}
BENCHMARK(BM_SelectReply)
    ->Arg(20000)
    ->Arg(41000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace
