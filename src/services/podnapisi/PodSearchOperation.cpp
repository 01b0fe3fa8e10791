#include "services/podnapisi/PodSearchOperation.h"

#include "catalogue/ServiceKeys.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/Logging.h"
#include "platform/UserDefaults.h"
#include "services/ConnectionFailures.h"
#include "services/podnapisi/PodAPI.h"
#include "services/podnapisi/PodParseKeys.h"

PodSearchOperation::PodSearchOperation(VideoFileSearchList files, QStringList languages,
                                       QString service)
    : SubtitleSearchOperation(std::move(files), std::move(languages), std::move(service))
{
    readParseStrings();
}

void PodSearchOperation::readParseStrings()
{
    const UserDefaults &settings = UserDefaults::standard();
    m_beginParse = settings.stringValue(TNPodParseBegin);
    m_endParse = settings.stringValue(TNPodParseEnd);
    if (m_beginParse.isEmpty() || m_endParse.isEmpty()) {
        m_beginParse = DefaultBeginParse;
        m_endParse = DefaultEndParse;
    }
}

void PodSearchOperation::main()
{
    setServicename(PodnapisiServiceKey);
    bool cancelled = false;
    try {
        const QUrl site = TNUserDefaultsHelper::serviceURL(PodnapisiServiceKey);
        if (isCancelled()) {
            cancelled = true;
        } else if (m_onlyLogin) {
            notifyLoginResult(
                PodAPI(username(), password(), m_beginParse, m_endParse, site).login());
        } else {
            ConnectionFailures failures;
            for (const VideoFileSearchDictionary &file : files()) {
                for (const QString &language : languages()) {
                    if (isCancelled()) {
                        cancelled = true;
                        break;
                    }
                    if (language.isEmpty())
                        continue;
                    PodAPI api(QString(), QString(), m_beginParse, m_endParse, site);
                    api.setCancelCheck([this] { return isCancelled(); });
                    bool unreachable = false;
                    const RemoteSubtitles found =
                        api.searchSubtitleUsingWeb(file, language, &unreachable);
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
                if (cancelled || failures.limitReached())
                    break;
            }
            if (!cancelled && (failures.limitReached() || failures.neverReached()))
                notifyFail();
        }
    } catch (const std::exception &problem) {
        qCWarning(lcServices) << "Podnapisi search failed:" << problem.what();
    }
    notifyFinished(cancelled);
}
