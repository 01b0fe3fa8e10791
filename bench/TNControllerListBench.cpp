#include "app/controller/TNController.h"
#include "app/list/CatalogueTreeModel.h"
#include "app/list/TNMainWindow.h"
#include "app/sheets/TNLastActionResult.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNVideoFileParser.h"
#include "catalogue/VideoFile.h"
#include "common/MainThreadLateness.h"
#include "common/RunEventsUntil.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// The real window and controller, idle, as after start-up.
struct Session
{
    Session()
    {
        UserDefaults::standard().setValue(QStringLiteral("oneStep"), false);
        window = std::make_unique<TNMainWindow>();
        window->show();
        controller = std::make_unique<TNController>();
        controller->setWindow(window.get());
        controller->awakeFromNib();
    }

    // Catalogues videos as an import does, rows shown in groups, without touching the disk.
    void importVideos(int count)
    {
        controller->treeController().setGroupingInsertions(true);
        TNModelController &catalogue = controller->modelController();
        for (int i = 0; i < count; ++i) {
            VideoFile *video = catalogue.insertVideoFile(
                QStringLiteral("/library/Show %1/Show.%1.S%2E%3.720p.HDTV.x264.avi")
                    .arg(i % 997)
                    .arg(i / 100 % 30 + 1, 2, 10, QLatin1Char('0'))
                    .arg(i % 100, 2, 10, QLatin1Char('0')));
            video->setName(QStringLiteral("Show %1").arg(i % 997));
            video->setSeason(i / 100 % 30 + 1);
            video->setEpisode(i % 100);
            video->setFiletype(2);
            video->setFileHash(
                QStringLiteral("%1").arg(quint64(i) * 2654435761u, 16, 16, QLatin1Char('0')));
            video->setFileSize(700LL * 1024 * 1024);
            video->setModified(true);
            if (i % 1000 == 999)
                QCoreApplication::processEvents();
        }
        // A real import has parsed names by now, which readies the parser's expressions.
        TNVideoFileParser::withBundledExpressions().parseFile(QStringLiteral("Show.S01E01.avi"));
        TNLastActionResult::defaultActionResult().setLastAction(TNLastActionResult::ImportAction);
    }

    // Runs the end of the batch from the event loop and lets the window settle.
    qint64 endPhase(qint64 settleMs = 1500)
    {
        MainThreadLateness lateness;
        QTimer::singleShot(0, controller.get(), [this] { controller->operationsEnded(); });
        settle(settleMs);
        return lateness.worstMs();
    }

    static void settle(qint64 ms)
    {
        QElapsedTimer settling;
        settling.start();
        runEventsUntil([&] { return settling.elapsed() >= ms; });
    }

    std::unique_ptr<TNMainWindow> window;
    std::unique_ptr<TNController> controller;
};

double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toDouble() * 4096 / (1024 * 1024) : 0;
}

// The end of an import: sorting and opening the rows of a large library.
void BM_ImportEnd(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    qint64 worst = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Session session;
        session.importVideos(count);
        Session::settle(300);
        state.ResumeTiming();
        worst = std::max(worst, session.endPhase());
        state.PauseTiming();
        if (session.controller->treeController().rowCount() != count)
            state.SkipWithError("not every video was listed");
        state.ResumeTiming();
    }
    state.counters["main_thread_worst_late_ms"] = static_cast<double>(worst);
}
BENCHMARK(BM_ImportEnd)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// A search: every video's candidates arrive in a reply of their own, then the batch ends.
void BM_SearchEnd(benchmark::State &state)
{
    const int videos = static_cast<int>(state.range(0));
    const int perVideo = static_cast<int>(state.range(1));
    static const QStringList languages = {QStringLiteral("eng"), QStringLiteral("fre"),
                                          QStringLiteral("spa"), QStringLiteral("ger")};
    qint64 searchWorst = 0;
    qint64 endWorst = 0;
    double searchMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Session session;
        session.importVideos(videos);
        session.endPhase(500);
        TNLastActionResult &record = TNLastActionResult::defaultActionResult();
        record.setLastAction(TNLastActionResult::SearchAction);
        record.setLogin(TNLastActionResult::LoggedIn, OpenSubtitlesServiceKey);
        const QList<VideoFile *> all = session.controller->modelController().getAllVideoFiles();
        state.ResumeTiming();

        MainThreadLateness lateness;
        QElapsedTimer searching;
        searching.start();
        int replied = 0;
        for (VideoFile *video : all) {
            QList<TNRemoteSubtitle> reply;
            for (int k = 0; k < perVideo; ++k) {
                TNRemoteSubtitle remote;
                remote.videoFileOID = video->objectID();
                remote.service = OpenSubtitlesServiceKey;
                remote.lang = languages.at(k % languages.size());
                remote.subtitleID = QString::number(k);
                remote.name = *video->name();
                remote.subFileName = QStringLiteral("%1.%2.srt").arg(*video->name()).arg(k);
                remote.downloadURL = QStringLiteral("http://127.0.0.1/%1").arg(k);
                reply.append(remote);
            }
            QTimer::singleShot(0, session.controller.get(), [&session, &replied, reply] {
                session.controller->didReceiveSubtitles(reply);
                ++replied;
            });
            QCoreApplication::processEvents();
        }
        runEventsUntil([&] { return replied >= all.size(); });
        Session::settle(200);
        searchMs += static_cast<double>(searching.elapsed());
        searchWorst = std::max(searchWorst, lateness.worstMs());
        endWorst = std::max(endWorst, session.endPhase());
        state.PauseTiming();
        if (session.controller->totalSubs() != videos * perVideo)
            state.SkipWithError("not every candidate was catalogued");
        state.ResumeTiming();
    }
    state.counters["search_ms"] = searchMs / static_cast<double>(state.iterations());
    state.counters["search_worst_late_ms"] = static_cast<double>(searchWorst);
    state.counters["end_worst_late_ms"] = static_cast<double>(endWorst);
}
BENCHMARK(BM_SearchEnd)
    ->Args({1000, 20})
    ->Args({5000, 20})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// Quitting an idle window: the steps main() takes once the window closes.
void BM_Quit(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    double quitMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto session = std::make_unique<Session>();
        session->importVideos(count);
        session->endPhase(500);
        state.ResumeTiming();
        QElapsedTimer quitting;
        quitting.start();
        session->window->close();
        session->controller->applicationWillTerminate();
        session.reset();
        quitMs += static_cast<double>(quitting.elapsed());
    }
    state.counters["quit_ms"] = quitMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Quit)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

// What clearing a large list gives back to the system.
void BM_ClearList(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    double before = 0;
    double listed = 0;
    double after = 0;
    qint64 worst = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Session session;
        before = residentMegabytes();
        session.importVideos(count);
        session.endPhase(500);
        listed = residentMegabytes();
        state.ResumeTiming();
        MainThreadLateness lateness;
        QTimer::singleShot(0, session.controller.get(),
                           [&session] { session.controller->doClearList(); });
        Session::settle(300);
        worst = lateness.worstMs();
        after = residentMegabytes();
    }
    state.counters["main_thread_worst_late_ms"] = static_cast<double>(worst);
    state.counters["rss_before_mb"] = before;
    state.counters["rss_listed_mb"] = listed;
    state.counters["rss_cleared_mb"] = after;
}
BENCHMARK(BM_ClearList)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
