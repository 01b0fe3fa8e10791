#include "app/controller/TNController.h"

#include "app/sheets/TNAlert.h"
#include "app/sheets/TNLastActionResult.h"
#include "app/sheets/TNProgressController.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "http/HTTPRequest.h"
#include "platform/ApplicationFolders.h"
#include "platform/FileWriter.h"
#include "platform/Logging.h"
#include "platform/MainThread.h"
#include "platform/OperationQueue.h"
#include "services/ServiceSettings.h"
#include "services/SubtitleWriteOperation.h"
#include "services/TNKeychain.h"
#include "services/opensubtitles/OSDownloadOperation.h"

#include <QDir>

namespace {

// The user information key of a download request: the catalogue id of its subtitle.
const QString TNVFObjectIDKey = QStringLiteral("TNVFObjectIDKey");
constexpr qsizetype LargestOpenSubtitlesBatch = 50;
constexpr int OpenSubtitlesConcurrency = 3;
constexpr int RequestConcurrency = 5;
constexpr int RetriesOnTimeout = 3;

// The last page a service sent instead of a subtitle stays in the user's own cache folder
// for inspection, readable by the user alone.
void writeLimitPage(const QString &page)
{
    const QString folder = ApplicationFolders::caches();
    const QString path = QDir(folder).filePath(QStringLiteral("limit.html"));
    QString problem;
    // Replaces whatever stands at the path, a planted link included, and never writes
    // through it.
    if (!ApplicationFolders::makePrivate(folder, &problem) ||
        !FileWriter::replace(path, page.toUtf8(), FileWriter::Access::OwnerOnly, &problem))
        qCWarning(lcApp).noquote()
            << QStringLiteral("The limit page was not kept at %1: %2").arg(path, problem);
}

// The subtitle is written off the main thread; its status follows when that is done.
void queueWrite(OperationQueue &queue, TNModelController &model, QByteArray data,
                SubtitleWriteOperation::Content content, const Subtitle *subtitle)
{
    auto write = std::make_shared<SubtitleWriteOperation>(
        std::move(data), content, SubtitleTarget::of(subtitle),
        [&model, id = subtitle->objectID()](bool written) {
            if (Subtitle *subtitle = model.subtitleWithID(id))
                subtitle->setStatus(written ? SubtitleStatusDownloaded : SubtitleStatusWriteFailed);
        });
    // Written ahead of the downloads still waiting, so that the list keeps up with them.
    write->setQueuePriority(Operation::QueuePriority::High);
    queue.addOperation(write);
}

} // namespace

void TNController::doDownload()
{
    if (TNUserDefaultsHelper::downloadDestination() == TNUserDefaultsHelper::DownloadToFolder &&
        TNUserDefaultsHelper::subtitleDownloadFolder().isNull()) {
        showAlert(tr("The configured download folder does not exist"),
                  tr("Verify the download folder in Trovanel Preferences"), false);
        return;
    }
    const QList<Subtitle *> openSubtitles =
        m_modelController->getSubtitlesToDownloadForService(OpenSubtitlesServiceKey);
    const QList<Subtitle *> podnapisi =
        m_modelController->getSubtitlesToDownloadForService(PodnapisiServiceKey);
    const QList<Subtitle *> betaSeries =
        m_modelController->getSubtitlesToDownloadForService(BetaSeriesServiceKey);
    if (openSubtitles.isEmpty() && podnapisi.isEmpty() && betaSeries.isEmpty())
        return;

    TNLastActionResult::defaultActionResult().setLastAction(TNLastActionResult::DownloadAction);
    m_operationQueue->cancelAllOperations();
    m_operationQueue->setSuspended(true);

    quint64 downloads = queueOpenSubtitlesBatch(openSubtitles);
    // Read once: thousands of requests may be queued in this one turn.
    const double deadlineSeconds = ServiceSettings::requestDeadlineSeconds();
    if (!podnapisi.isEmpty() || !betaSeries.isEmpty())
        m_operationQueue->setMaxConcurrentOperationCount(RequestConcurrency);
    for (const auto &[service, subtitles] :
         {std::pair{PodnapisiServiceKey, podnapisi}, std::pair{BetaSeriesServiceKey, betaSeries}}) {
        if (!subtitles.isEmpty())
            TNLastActionResult::defaultActionResult().setDownloadLimitReached(false, service);
        for (const Subtitle *subtitle : subtitles) {
            queueDownloadRequest(subtitle, deadlineSeconds);
            ++downloads;
        }
    }
    // Every subtitle advances the bar once, those of the OpenSubtitles batch included.
    if (m_progressSheet)
        m_progressSheet->startDownload(downloads);
    m_operationQueue->setSuspended(false);
    updateActions();
}

quint64 TNController::queueOpenSubtitlesBatch(const QList<Subtitle *> &subtitles)
{
    QList<OSDownloadEntry> entries;
    for (const Subtitle *subtitle : subtitles) {
        if (entries.size() == LargestOpenSubtitlesBatch)
            break;
        entries.append({subtitle->subtitleID().value_or(QString()), subtitle->objectID()});
    }
    if (entries.isEmpty())
        return 0;
    auto batch = std::make_shared<OSDownloadOperation>();
    const QString account = TNUserDefaultsHelper::userNameForService(OpenSubtitlesServiceKey);
    batch->setUsername(account);
    const TNKeychain *keychain = TNKeychain::defaultKeychain();
    batch->setPassword(keychain
                           ? keychain->passwordForSubtitlesService(OpenSubtitlesServiceKey, account)
                           : QString());
    batch->setSubDelegate(this);
    batch->setSubtitles(entries);
    m_operationQueue->setMaxConcurrentOperationCount(OpenSubtitlesConcurrency);
    m_operationQueue->addOperation(batch);
    return quint64(entries.size());
}

void TNController::queueDownloadRequest(const Subtitle *subtitle, double deadlineSeconds)
{
    auto request = HTTPRequest::requestWithURL(QUrl(subtitle->downloadURL().value_or(QString())));
    request->setDelegate(this);
    request->setDidFinishSelector("subtitleDownloadFinished");
    request->setDidFailSelector("subtitleDownloadFailed");
    request->setNumberOfTimesToRetryOnTimeout(RetriesOnTimeout);
    request->setTotalTimeOutSeconds(deadlineSeconds);
    request->setUserInfo({{TNVFObjectIDKey, QVariant::fromValue(subtitle->objectID())}});
    m_operationQueue->addOperation(request);
}

void TNController::subtitleDownloadEnded(const TNRemoteSubtitle &subtitle, const Error *error)
{
    // The batch waits on its worker thread until the result is handed over, so every result
    // is handled, in order, before the batch ends.
    MainThread::run([this, subtitle, failed = error != nullptr] {
        openSubtitlesDownloadEnded(subtitle, failed);
    });
}

void TNController::openSubtitlesDownloadEnded(const TNRemoteSubtitle &result, bool failed)
{
    Subtitle *subtitle = m_modelController->subtitleWithID(result.subtitleOID);
    if (!subtitle)
        return;
    if (failed) {
        downloadFailed(subtitle);
        return;
    }
    if (m_progressSheet)
        m_progressSheet->subtitlesDownloadedOK(1);
    // An empty file is no subtitle: it stays selected for the next download.
    if (result.data.isEmpty())
        subtitle->setStatus(SubtitleStatusDownloadFailed);
    else
        queueWrite(*m_operationQueue, *m_modelController, result.data,
                   SubtitleWriteOperation::Content::File, subtitle);
}

Subtitle *TNController::subtitleForRequest(const HTTPRequest *request) const
{
    return m_modelController->subtitleWithID(
        request->userInfo().value(TNVFObjectIDKey).value<ObjectId>());
}

void TNController::downloadFailed(Subtitle *subtitle)
{
    if (m_progressSheet)
        m_progressSheet->subtitlesDownloadedError(1);
    if (subtitle)
        subtitle->setStatus(SubtitleStatusDownloadFailed);
}

void TNController::subtitleDownloadFinished(HTTPRequest *request)
{
    if (!request)
        return;
    Subtitle *subtitle = subtitleForRequest(request);
    if (!subtitle)
        return;
    // An error page is never a subtitle.
    if (request->responseStatusCode() >= 400) {
        downloadFailed(subtitle);
        return;
    }
    if (m_progressSheet)
        m_progressSheet->subtitlesDownloadedOK(1);
    const QByteArray body = request->responseData();
    if (body.isEmpty()) {
        subtitle->setStatus(SubtitleStatusDownloadFailed);
        return;
    }
    if (!body.startsWith("<!DOCTYPE")) {
        queueWrite(*m_operationQueue, *m_modelController, body,
                   SubtitleWriteOperation::Content::Archive, subtitle);
        return;
    }
    const QString page = request->responseString();
    writeLimitPage(page);
    if (page.contains(QLatin1String("not found in database"), Qt::CaseInsensitive)) {
        subtitle->setStatus(SubtitleStatusDownloadFailed);
        return;
    }
    subtitle->setStatus(SubtitleStatusDailyLimit);
    TNLastActionResult::defaultActionResult().setDownloadLimitReached(
        true, subtitle->service().value_or(QString()));
}

void TNController::subtitleDownloadFailed(HTTPRequest *request)
{
    if (!request)
        return;
    downloadFailed(subtitleForRequest(request));
}
