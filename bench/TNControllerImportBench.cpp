#include "app/controller/TNController.h"
#include "app/list/TNMainWindow.h"
#include "app/sheets/TNProgressController.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

// Release names of the kind people keep: episodes in season folders, movies loose.
QString releaseName(int i)
{
    static const QStringList shows = {
        QStringLiteral("The.Office.US"), QStringLiteral("Breaking.Bad"),
        QStringLiteral("Game.of.Thrones"), QStringLiteral("The.Wire"), QStringLiteral("Lost")};
    static const QStringList movies = {QStringLiteral("Inception.2010.1080p.BluRay.x264-SPARKS"),
                                       QStringLiteral("Heat.1995.DVDRip.XviD-NoGrp"),
                                       QStringLiteral("Ronin.1998.720p.BrRip.x264-YIFY")};
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

// Sparse 700 MB files: the hash reads real blocks without filling the disk.
void makeLibrary(const QString &root, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString path = root + QLatin1Char('/') + releaseName(i);
        QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.resize(700LL * 1024 * 1024);
    }
}

// Scan, hash, parse and catalogue a library through the real controller and window,
// measuring the longest stretch in which the main thread handled no timer.
void BM_ImportLibrary(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    QTemporaryDir root;
    makeLibrary(root.path(), count);
    UserDefaults::standard().setValue(QStringLiteral("oneStep"), false);
    UserDefaults::standard().setValue(QStringLiteral("AlertIgnoredVideoFiles"), false);
    qint64 longestStall = 0;
    for (auto _ : state) {
        TNMainWindow window;
        window.show();
        TNController controller;
        controller.setWindow(&window);
        controller.awakeFromNib();

        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { longestStall = std::max(longestStall, sinceTick.restart()); });
        ticker.start();
        sinceTick.start();
        controller.applicationOpenFiles({root.path()});
        while (!controller.operationsCount() || controller.progressSheet()->isVisible())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        // One more tick, so that the end of the batch is measured too.
        const qint64 endedAt = sinceTick.elapsed();
        while (sinceTick.elapsed() >= endedAt)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (controller.totalVideoFiles() != count)
            state.SkipWithError("not every file was catalogued");
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["longest_main_thread_stall_ms"] = static_cast<double>(longestStall);
}
BENCHMARK(BM_ImportLibrary)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
