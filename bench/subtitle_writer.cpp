#include "catalogue/ServiceKeys.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/VideoFile.h"
#include "platform/UserDefaults.h"
#include "services/TNCopySubsController.h"
#include "services/TNZipFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// A subtitle file of about 1,000 cues, the size of a feature film's.
QByteArray subtitleText()
{
    QByteArray text;
    for (int cue = 1; cue <= 1000; ++cue)
        text += QByteArray::number(cue) + "\r\n00:01:02,345 --> 00:01:04,567\r\nLine " +
                QByteArray::number(cue) + " of the dialogue, as it was spoken.\r\n\r\n";
    return text;
}

// What Podnapisi sends: an archive with an information file and the subtitle.
QByteArray zippedDownload(const QDir &scratch)
{
    QFile info(scratch.filePath("info.nfo"));
    QFile subtitle(scratch.filePath("Film.srt"));
    if (!info.open(QIODevice::WriteOnly) || !subtitle.open(QIODevice::WriteOnly))
        return {};
    info.write("Downloaded from the service.\r\n");
    subtitle.write(subtitleText());
    info.close();
    subtitle.close();
    TNZipFile zip;
    zip.createForWriting(scratch.filePath("download.zip"));
    zip.addFile(info.fileName(), "info.nfo");
    zip.addFile(subtitle.fileName(), "Film.srt");
    zip.closeWriting();
    QFile archive(scratch.filePath("download.zip"));
    return archive.open(QIODevice::ReadOnly) ? archive.readAll() : QByteArray();
}

// Writes 1,000 downloaded archives for 1,000 videos, each renamed after its video.
void BM_WriteZippedSubtitles(benchmark::State &state)
{
    const int count = int(state.range(0));
    QTemporaryDir scratch;
    const QByteArray download = zippedDownload(QDir(scratch.path()));
    UserDefaults::standard().setValue(TNUserDefaultsHelper::RenameSubToVideoNameKey, true);
    const TNCopySubsController writer;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir videos;
        TNModelController store;
        QList<Subtitle *> subtitles;
        for (int i = 0; i < count; ++i) {
            VideoFile *video =
                store.insertVideoFile(videos.filePath(QStringLiteral("Film %1.mkv").arg(i)));
            Subtitle *subtitle = store.insertSubtitle();
            subtitle->setService(PodnapisiServiceKey);
            subtitle->setFileName(QStringLiteral("Film.srt"));
            subtitle->setLanguage(QStringLiteral("en"));
            store.addSubtitle(subtitle, video);
            subtitles.append(subtitle);
        }
        state.ResumeTiming();
        for (const Subtitle *subtitle : std::as_const(subtitles)) {
            if (!writer.copyZipFile(download, subtitle))
                state.SkipWithError("a subtitle was not written");
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["per_subtitle"] =
        benchmark::Counter(double(state.iterations() * count),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WriteZippedSubtitles)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
