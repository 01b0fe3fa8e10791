#include "services/betaseries/BSSearchOperation.h"

#include "catalogue/ServiceKeys.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/Logging.h"
#include "services/ConnectionFailures.h"
#include "services/betaseries/BetaSeriesAPI.h"

void BSSearchOperation::main()
{
    QStringList kept;
    for (const QString &language : languages()) {
        if (language == QLatin1String("en") || language == QLatin1String("fr"))
            kept.append(language);
    }
    if (kept.isEmpty())
        return;
    setServicename(BetaSeriesServiceKey);
    bool cancelled = false;
    try {
        BetaSeriesAPI api(username(), password(),
                          TNUserDefaultsHelper::serviceURL(BetaSeriesServiceKey));
        api.setCancelCheck([this] { return isCancelled(); });
        if (!notifyLoginResult(api.login())) {
            notifyFinished(false);
            return;
        }
        QString language;
        if (kept.size() == 1)
            language =
                kept.first() == QLatin1String("fr") ? QStringLiteral("VF") : QStringLiteral("VO");
        ConnectionFailures failures;
        for (const VideoFileSearchDictionary &file : files()) {
            if (isCancelled()) {
                cancelled = true;
                break;
            }
            bool unreachable = false;
            const RemoteSubtitles found = api.searchSubtitleUsingWeb(file, language, &unreachable);
            // A request cut short by the cancellation is no answer.
            if (isCancelled()) {
                cancelled = true;
                break;
            }
            failures.record(unreachable);
            if (failures.limitReached())
                break;
            notifyReceivedSubtitles(found);
        }
        if (!cancelled && (failures.limitReached() || failures.neverReached()))
            notifyFail();
    } catch (const std::exception &problem) {
        qCWarning(lcServices) << "BetaSeries search failed:" << problem.what();
        cancelled = false;
    }
    notifyFinished(cancelled);
}
