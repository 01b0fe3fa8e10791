// The replies of the BetaSeries login and search: the input's first byte chooses which.
#include "FuzzSupport.h"
#include "services/betaseries/BetaSeriesAPI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray reply = Fuzz::bytes(data + 1, size - 1);
    if (data[0] & 1) {
        BetaSeriesAPI::tokenFromReply(reply);
        return 0;
    }
    VideoFileSearchDictionary file;
    file.fileName = QStringLiteral("/videos/Show.S01E02.mkv");
    const RemoteSubtitles found = BetaSeriesAPI::subtitlesFromReply(reply, file);
    for (const TNRemoteSubtitle &subtitle : found.value_or(QList<TNRemoteSubtitle>())) {
        FUZZ_CHECK(subtitle.episode && *subtitle.episode != 0);
        FUZZ_CHECK(subtitle.lang == QLatin1String("fr") || subtitle.lang == QLatin1String("en"));
    }
    return 0;
}
