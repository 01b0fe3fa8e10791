// A reply of the Podnapisi search page.
#include "FuzzSupport.h"
#include "services/podnapisi/PodAPI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const PodAPI api(QString(), QString(), QString(), QString(),
                            QUrl(QStringLiteral("https://pod.example")));
    VideoFileSearchDictionary file;
    file.fileName = QStringLiteral("/videos/Show.S01E02.mkv");
    file.season = 1;
    file.episode = 2;
    const RemoteSubtitles found =
        api.subtitlesFromReply(Fuzz::bytes(data, size), file, QStringLiteral("2"));
    for (const TNRemoteSubtitle &subtitle : found.value_or(QList<TNRemoteSubtitle>())) {
        FUZZ_CHECK(!subtitle.subFileName.isEmpty());
        FUZZ_CHECK(!subtitle.downloadURL.isEmpty());
    }
    return 0;
}
