#include "catalogue/FileSearchOperation.h"
#include "platform/OperationQueue.h"
#include "services/OSHashAlgorithm.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int Folders = 100;
constexpr int FilesPerFolder = 100;

// Counts what reaches the main thread; the hashes were taken beside the scan.
class CountingDelegate final : public VideoFileSearchProtocol
{
public:
    void didImportFile(const ScannedVideoFile &file) override
    {
        sum += file.hash;
        ++files;
    }
    void didFilterFile(const QString &) override { ++files; }

    quint64 sum = 0;
    int files = 0;
};

// 10,000 sparse videos of 200,000 bytes, a tenth of them with a subtitle beside them.
bool makeTree(const QString &root)
{
    for (int folder = 0; folder < Folders; ++folder) {
        const QString dir = QStringLiteral("%1/Show %2/Season 1").arg(root).arg(folder);
        if (!QDir().mkpath(dir))
            return false;
        for (int i = 0; i < FilesPerFolder; ++i) {
            const QString base =
                QStringLiteral("%1/Show.%2.S01E%3.720p").arg(dir).arg(folder).arg(i);
            QFile video(base + QStringLiteral(".mkv"));
            if (!video.open(QIODevice::WriteOnly) || !video.resize(200000))
                return false;
            if (i % 10 == 0) {
                QFile subtitle(base + QStringLiteral(".en.srt"));
                if (!subtitle.open(QIODevice::WriteOnly))
                    return false;
            }
        }
    }
    return true;
}

// Files scanned on a queue's worker, filtered against existing subtitles, hashed and handed
// to the main thread per second, warm cache.
void BM_ScanAndHashTree(benchmark::State &state)
{
    QTemporaryDir dir;
    if (!dir.isValid() || !makeTree(dir.path())) {
        state.SkipWithError("could not build the tree");
        return;
    }
    CountingDelegate delegate;
    OperationQueue queue;
    for (auto _ : state) {
        auto scan = std::make_shared<FileSearchOperation>(QStringList{dir.path()});
        scan->setDelegate(&delegate);
        scan->setFilterFilesWithSubtitles(true);
        scan->setVideoFileReader([](ScannedVideoFile &file) {
            file.hash = OSHashAlgorithm::hashForPath(file.path).hash;
        });
        queue.addOperation(scan);
        scan->waitUntilFinished();
    }
    benchmark::DoNotOptimize(delegate.sum);
    state.SetItemsProcessed(delegate.files);
}
BENCHMARK(BM_ScanAndHashTree)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
