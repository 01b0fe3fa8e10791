#include "app/controller/SearchResultQueue.h"
#include "app/controller/TNController.h"
#include "app/sheets/TNLastActionResult.h"
#include "app/sheets/TNProgressController.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/Subtitle.h"
#include "catalogue/SubtitlesLanguages.h"
#include "catalogue/TNModelController.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "catalogue/TNVideoFileParser.h"
#include "catalogue/VideoFile.h"
#include "platform/OperationQueue.h"
#include "services/TNKeychain.h"
#include "services/betaseries/BSSearchOperation.h"
#include "services/opensubtitles/OSSearchOperation.h"
#include "services/podnapisi/PodSearchOperation.h"

namespace {

std::optional<QString> present(const QString &text)
{
    return text.isNull() ? std::nullopt : std::optional<QString>(text);
}

std::optional<qint32> narrowed(const std::optional<qint64> &value)
{
    return value ? std::optional<qint32>(qint32(*value)) : std::nullopt;
}

VideoFileSearchList searchDictionaries(const QList<VideoFile *> &videos)
{
    VideoFileSearchList files;
    files.reserve(videos.size());
    for (const VideoFile *video : videos) {
        VideoFileSearchDictionary file;
        file.objectID = video->objectID();
        file.fileName = video->fileName().value_or(QStringLiteral(""));
        file.year = video->year();
        file.season = video->season();
        file.episode = video->episode();
        file.name =
            TNVideoFileParser::searchKeyword(video->name().value_or(QString()), file.fileName);
        if (video->fileHash())
            file.fileHash = video->fileHash()->isNull() ? QStringLiteral("") : *video->fileHash();
        file.fileSize = video->fileSize();
        files.append(file);
    }
    return files;
}

} // namespace

bool TNController::checkConfiguredLanguages()
{
    if (!TNUserDefaultsHelper::configuredLanguages().isEmpty())
        return true;
    showAlert(tr("You haven't configured any search language"),
              tr("Choose at least one Subtitle search language in Trovanel Preferences"), false);
    return false;
}

void TNController::doSubtitleSearch()
{
    if (!checkConfiguredLanguages())
        return;
    const QList<VideoFile *> videos = m_modelController->getVideoFilesToSearch();
    const QStringList languages = TNUserDefaultsHelper::configuredLanguages();
    if (videos.isEmpty())
        return;
    const bool podEnabled = TNUserDefaultsHelper::IsPodEnabled();
    const bool osEnabled = TNUserDefaultsHelper::IsOSEnabled();
    const bool betaSeriesEnabled = TNUserDefaultsHelper::IsBetaSeriesEnabled();
    if (!podEnabled && !osEnabled && !betaSeriesEnabled) {
        showAlert(tr("All subtitles services are disabled"),
                  tr("Enable at least one Subtitle service in Trovanel Preferences"), false);
        return;
    }
    TNLastActionResult::defaultActionResult().setLastAction(TNLastActionResult::SearchAction);
    m_unreachableServices.clear();
    // Nothing starts before every search is queued: an operation that ended at once would
    // otherwise empty the queue and end the batch while it is being set up.
    m_operationQueue->setSuspended(true);
    const auto enqueue = [this](const SearchOperations &operations) {
        for (const std::shared_ptr<SubtitleSearchOperation> &operation : operations)
            m_operationQueue->addOperation(operation);
    };
    if (osEnabled)
        enqueue(buildOSTasksForVideoFiles(videos, languages));
    if (podEnabled)
        enqueue(buildPodTasksForVideoFiles(videos, languages));
    if (betaSeriesEnabled)
        enqueue(buildBetaSeriesTasksForVideoFiles(videos, languages));
    m_operationQueue->setSuspended(false);
    if (m_operationQueue->operationCount() > 0 && m_progressSheet)
        m_progressSheet->startSearch();
    updateActions();
}

void TNController::checkSubtitlesWithLoginError()
{
    const TNLastActionResult &record = TNLastActionResult::defaultActionResult();
    QList<VideoFile *> videos;
    QSet<VideoFile *> listed;
    for (Subtitle *subtitle : m_modelController->getSubtitlesWithLoginError()) {
        if (record.lastLoginForService(subtitle->service().value_or(QString())) !=
            TNLastActionResult::LoggedIn)
            continue;
        subtitle->setStatus(std::nullopt);
        VideoFile *video = subtitle->parent();
        if (video && !listed.contains(video)) {
            listed.insert(video);
            videos.append(video);
        }
    }
    // Each video's selection is rebuilt once, with all its cleared marks taking part.
    for (VideoFile *video : std::as_const(videos))
        m_modelController->checkHighestSubtitle(video);
}

void TNController::configureSearch(SubtitleSearchOperation &operation, const QString &service)
{
    const QString account = TNUserDefaultsHelper::userNameForService(service);
    operation.setUsername(account);
    if (const TNKeychain *keychain = TNKeychain::defaultKeychain())
        operation.setPassword(keychain->passwordForSubtitlesService(service, account));
    operation.setDelegate(this);
}

SearchOperations TNController::buildOSTasksForVideoFiles(const QList<VideoFile *> &videos,
                                                         const QStringList &languages)
{
    if (videos.isEmpty())
        return {};
    auto search = std::make_shared<OSSearchOperation>(
        searchDictionaries(videos),
        SubtitlesLanguages::sharedInstance().translateToOSLanguages(languages),
        OpenSubtitlesServiceKey);
    configureSearch(*search, OpenSubtitlesServiceKey);
    return {search};
}

SearchOperations TNController::buildPodTasksForVideoFiles(const QList<VideoFile *> &videos,
                                                          const QStringList &languages)
{
    if (videos.isEmpty())
        return {};
    const VideoFileSearchList files = searchDictionaries(videos);
    const QStringList ids = SubtitlesLanguages::sharedInstance().translateToPodLanguages(languages);
    SearchOperations operations;
    for (const bool onlyLogin : {false, true}) {
        auto operation = std::make_shared<PodSearchOperation>(files, ids, PodnapisiServiceKey);
        operation->setOnlyLogin(onlyLogin);
        configureSearch(*operation, PodnapisiServiceKey);
        operations.append(operation);
    }
    return operations;
}

SearchOperations TNController::buildBetaSeriesTasksForVideoFiles(const QList<VideoFile *> &videos,
                                                                 const QStringList &languages)
{
    if (videos.isEmpty())
        return {};
    auto search = std::make_shared<BSSearchOperation>(searchDictionaries(videos), languages,
                                                      BetaSeriesServiceKey);
    configureSearch(*search, BetaSeriesServiceKey);
    return {search};
}

void TNController::didLogin(const QString &service)
{
    // A login that needs no request says nothing about a service found unreachable.
    if (m_unreachableServices.contains(service))
        return;
    TNLastActionResult::defaultActionResult().setLogin(TNLastActionResult::LoggedIn, service);
}

void TNController::didFailWithLoginError(const QString &service)
{
    TNLastActionResult::defaultActionResult().setLogin(TNLastActionResult::LoginRefused, service);
}

void TNController::didFailWithError(const QString &service)
{
    m_unreachableServices.insert(service);
    TNLastActionResult::defaultActionResult().setLogin(TNLastActionResult::NoConnection, service);
}

void TNController::didFailWithAccountProblem(const QString &service, const QString &problem)
{
    TNLastActionResult::defaultActionResult().setAccountProblem(problem, service);
}

void TNController::didReceiveSubtitles(const RemoteSubtitles &subtitles)
{
    SearchReply reply{subtitles.value_or(QList<TNRemoteSubtitle>()), {}};
    if (m_progressSheet)
        m_progressSheet->subtitlesFound(quint64(reply.records.size()));
    // The reply's candidates are marked by the logins known as it arrived, however late
    // they are catalogued.
    const TNLastActionResult &record = TNLastActionResult::defaultActionResult();
    const QString *checked = nullptr;
    for (const TNRemoteSubtitle &remote : std::as_const(reply.records)) {
        if (checked && *checked == remote.service)
            continue;
        checked = &remote.service;
        if (record.lastLoginForService(remote.service) == TNLastActionResult::LoggedIn)
            reply.loggedIn.insert(remote.service);
    }
    m_searchResults->append(std::move(reply));
}

void TNController::catalogueSubtitles(const SearchReply &reply, qsizetype first,
                                      const QList<ParserResult> &names, bool last)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        const TNRemoteSubtitle &remote = reply.records.at(first + i);
        VideoFile *video = m_modelController->videoFileWithID(remote.videoFileOID);
        if (!video || remote.subFileName.isEmpty())
            continue;
        Subtitle *subtitle = m_modelController->insertSubtitle();
        if (!subtitle)
            continue;
        // Filled in and scored before it joins its video: the list gets one new row and no
        // change to a row it shows.
        subtitle->setDownloadURL(present(remote.downloadURL));
        subtitle->setFileHash(present(remote.subHash));
        subtitle->setFileName(present(remote.subFileName));
        subtitle->setName(present(remote.name));
        subtitle->setLanguage(
            present(SubtitlesLanguages::sharedInstance().translate(remote.lang, remote.service)));
        subtitle->setReleaseInfo(present(remote.releaseInfo));
        subtitle->setService(present(remote.service));
        subtitle->setSubtitleID(present(remote.subtitleID));
        subtitle->setYear(narrowed(remote.year));
        subtitle->setSeason(narrowed(remote.season));
        subtitle->setEpisode(narrowed(remote.episode));
        const ParserResult &parsed = names.at(i);
        if (!subtitle->season())
            subtitle->setSeason(parsed.season);
        if (!subtitle->episode())
            subtitle->setEpisode(parsed.episode);
        if (!subtitle->year())
            subtitle->setYear(parsed.year);
        subtitle->calculateRating(*video);
        if (!reply.loggedIn.contains(remote.service))
            subtitle->setStatus(SubtitleStatusLoginError);
        subtitle->setParent(video);
        video->setModified(std::nullopt);
        if (m_repliedVideos.isEmpty() || m_repliedVideos.constLast() != video->objectID())
            m_repliedVideos.append(video->objectID());
    }
    // The selection only ever depends on the candidates a video has when it runs, so once
    // per video per reply gives what once per candidate would, in a time linear in the
    // candidates. A video whose records are over runs it as soon as its slice is in, so the
    // work is spread over the reply's turns; the last video of a slice may go on in the next.
    QList<ObjectId> finished = std::exchange(m_repliedVideos, {});
    if (!last && !finished.isEmpty())
        m_repliedVideos.append(finished.takeLast());
    QSet<ObjectId> selected;
    for (const ObjectId id : std::as_const(finished)) {
        if (!selected.contains(id)) {
            selected.insert(id);
            m_modelController->checkHighestSubtitle(m_modelController->videoFileWithID(id));
        }
    }
}

void TNController::searchResultsCatalogued()
{
    if (std::exchange(m_batchEndWaits, false))
        operationsEnded();
}
