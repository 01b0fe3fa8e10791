#include "app/controller/TNController.h"
#include "app/list/TNMainWindow.h"
#include "app/sheets/TNProgressController.h"
#include "catalogue/VideoExtensions.h"
#include "common/MainThreadLateness.h"
#include "common/RunEventsUntil.h"
#include "common/ShownController.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include <sys/resource.h>

namespace {

// Video names gathered by someone else, from the tab-separated list that
// TROVANEL_BENCH_NAMES names (the first column of a line that is a video file name): a
// quarter of the library then carries names this project's parser was not written against.
QStringList heldOutNames()
{
    QFile list(qEnvironmentVariable("TROVANEL_BENCH_NAMES"));
    QStringList names;
    if (list.fileName().isEmpty() || !list.open(QIODevice::ReadOnly))
        return names;
    while (!list.atEnd()) {
        const QString line = QString::fromUtf8(list.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('#')))
            continue;
        for (const QString &column : line.split(QLatin1Char('\t'))) {
            if (VideoExtensions::isVideoFile(column)) {
                names.append(column);
                break;
            }
        }
    }
    return names;
}

// Release names of the kind people keep: episodes in season folders, movies loose.
QString releaseName(int i, const QStringList &heldOut)
{
    static const QStringList shows = {
        QStringLiteral("The.Office.US"), QStringLiteral("Breaking.Bad"),
        QStringLiteral("Game.of.Thrones"), QStringLiteral("The.Wire"), QStringLiteral("Lost")};
    static const QStringList movies = {QStringLiteral("Inception.2010.1080p.BluRay.x264-SPARKS"),
                                       QStringLiteral("Heat.1995.DVDRip.XviD-NoGrp"),
                                       QStringLiteral("Ronin.1998.720p.BrRip.x264-YIFY")};
    if (i % 4 == 1 && !heldOut.isEmpty())
        return QStringLiteral("other/%1/%2").arg(i / 1000).arg(i) + QLatin1Char('/') +
               heldOut.at((i / 4) % heldOut.size());
    if (i % 4 == 3)
        return QStringLiteral("movies/%1/%2.%3.mkv")
            .arg(i)
            .arg(movies.at(i % movies.size()))
            .arg(i);
    const QString show = shows.at(i % shows.size());
    return QStringLiteral("%1/Season %2/%1.S%2E%3.720p.HDTV.x264-CTU.avi")
        .arg(show)
        .arg(i / 100 + 1, 2, 10, QLatin1Char('0'))
        .arg(i % 100, 2, 10, QLatin1Char('0'));
}

// Half the files are empty, the others sparse and of real sizes (350 MB to 4 GB), so that
// hashing reads real blocks without filling the disk.
bool makeLibrary(const QString &root, int count)
{
    const QStringList heldOut = heldOutNames();
    for (int i = 0; i < count; ++i) {
        const QString path = root + QLatin1Char('/') + releaseName(i, heldOut);
        QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        if (i % 2 == 0 && !file.resize((350LL + (i % 37) * 100) * 1024 * 1024))
            return false;
    }
    return true;
}

// One library per size for the whole run, so that repetitions measure the import alone.
const QTemporaryDir *library(int count)
{
    static std::map<int, std::unique_ptr<QTemporaryDir>> libraries;
    auto &made = libraries[count];
    if (!made) {
        made = std::make_unique<QTemporaryDir>();
        if (!made->isValid() || !makeLibrary(made->path(), count))
            return nullptr;
    }
    return made.get();
}

// The main thread's worst lateness when the progress sheet goes, as the batch starts to end.
class LatenessWhenHidden final : public QObject
{
public:
    explicit LatenessWhenHidden(const MainThreadLateness &lateness) : m_lateness(lateness) {}

    qint64 worstMs = -1;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Hide && worstMs < 0)
            worstMs = m_lateness.worstMs();
        return false;
    }

private:
    const MainThreadLateness &m_lateness;
};

double peakMemoryMB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Scan, hash, parse, catalogue and list a library through the real controller and window,
// until the batch has ended; how late the main thread answered is measured all along.
void BM_ImportLibrary(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    const QTemporaryDir *root = library(count);
    if (!root) {
        state.SkipWithError("could not build the library");
        return;
    }
    UserDefaults::standard().setValue(QStringLiteral("oneStep"), false);
    UserDefaults::standard().setValue(QStringLiteral("AlertIgnoredVideoFiles"), false);
    qint64 worstLateness = 0;
    qint64 worstScanLateness = 0;
    double seconds = 0;
    for (auto _ : state) {
        ShownController shown;
        TNController &controller = shown.controller;

        MainThreadLateness lateness;
        LatenessWhenHidden scanLateness(lateness);
        controller.progressSheet()->installEventFilter(&scanLateness);
        QElapsedTimer took;
        took.start();
        controller.applicationOpenFiles({root->path()});
        const auto ended = [&controller] {
            return controller.operationsCount() && !controller.progressSheet()->isVisible();
        };
        runEventsUntil(ended);
        seconds += static_cast<double>(took.elapsed()) / 1000.0;
        // One more answer, so that a stall at the very end of the batch is counted too.
        const qint64 ticks = lateness.ticks();
        runEventsUntil([&] { return lateness.ticks() != ticks; });
        worstLateness = std::max(worstLateness, lateness.worstMs());
        worstScanLateness = std::max(worstScanLateness, scanLateness.worstMs);
        if (!ended() || controller.totalVideoFiles() != count) {
            state.SkipWithError("not every file was catalogued");
            break;
        }
        controller.applicationWillTerminate();
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["files_per_second"] =
        seconds > 0 ? static_cast<double>(state.iterations() * count) / seconds : 0.0;
    // The whole batch, its end (sort and expand) included, and the scan alone.
    state.counters["main_thread_worst_late_ms"] = static_cast<double>(worstLateness);
    state.counters["scan_main_thread_worst_late_ms"] = static_cast<double>(worstScanLateness);
    state.counters["peak_memory_mb"] = peakMemoryMB();
}
BENCHMARK(BM_ImportLibrary)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace
