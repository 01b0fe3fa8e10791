#include "services/opensubtitles/OSSearchOperation.h"

#include "catalogue/ServiceKeys.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/Logging.h"
#include "services/opensubtitles/OSApi.h"

#include <QDebug>

namespace {

QString describe(const std::optional<QVariantMap> &reply)
{
    QString text;
    QDebug(&text) << reply.value_or(QVariantMap());
    return text;
}

} // namespace

void OSSearchOperation::main()
{
    setServicename(OpenSubtitlesServiceKey);
    if (isCancelled()) {
        notifyFinished(false);
        return;
    }
    bool cancelled = false;
    try {
        OSApi api(username(), password(),
                  TNUserDefaultsHelper::serviceURL(OpenSubtitlesServiceKey));
        api.setCancelCheck([this] { return isCancelled(); });
        const int login = api.login();
        if (!notifyLoginResult(login, api.accountProblem())) {
            notifyFinished(false);
            return;
        }
        cancelled = search(api);
        // A session kept from an earlier run spares the login, so the searches are the
        // first calls that can find the service unreachable.
        const ConnectionFailures &failures = api.connectionFailures();
        if (!cancelled && (failures.limitReached() || failures.neverReached()))
            notifyFail();
        else if (!cancelled)
            closingCalls(api);
    } catch (const std::exception &problem) {
        qCWarning(lcServices) << "OpenSubtitles search failed:" << problem.what();
    }
    notifyFinished(cancelled);
}

bool OSSearchOperation::search(OSApi &api)
{
    if (isCancelled())
        return true;
    QList<TNRemoteSubtitle> byHash =
        api.searchSubtitlesByHash(files(), languages()).value_or(QList<TNRemoteSubtitle>());
    if (isCancelled())
        return true;
    if (!byHash.isEmpty()) {
        matchVideoFilesUsingHash(byHash);
        notifyReceivedSubtitles(byHash);
    }
    if (isCancelled())
        return true;

    const VideoFileSearchList unmatched = getFilesWithoutSubtitles();
    if (!unmatched.isEmpty()) {
        const auto imdbByHash = api.imdbSeachArrayFromFiles(unmatched);
        if (isCancelled())
            return true;
        const VideoFileSearchList copies =
            imdbByHash ? getFiles(unmatched, *imdbByHash) : VideoFileSearchList();
        if (isCancelled())
            return true;
        if (!copies.isEmpty()) {
            QList<TNRemoteSubtitle> byImdb =
                api.searchSubtitlesByIMDB(copies, languages()).value_or(QList<TNRemoteSubtitle>());
            if (!byImdb.isEmpty()) {
                matchVideoFilesUsingImdb(copies, byImdb);
                notifyReceivedSubtitles(byImdb);
            }
        }
    }

    const VideoFileSearchList remaining = getFilesWithoutSubtitles();
    for (const VideoFileSearchDictionary &file : remaining) {
        if (isCancelled())
            return true;
        if (api.connectionFailures().limitReached())
            break;
        RemoteSubtitles byName = api.searchSubtitlesByName({file}, languages());
        if (byName) {
            for (TNRemoteSubtitle &subtitle : *byName)
                subtitle.videoFileOID = file.objectID;
        }
        notifyReceivedSubtitles(byName);
    }
    return false;
}

void OSSearchOperation::closingCalls(OSApi &api)
{
    qCInfo(lcServices).noquote() << "NoOp response:\n" + describe(api.noOperation());
    qCInfo(lcServices).noquote() << "ServerInfo response:\n" + describe(api.serverInfo());
}

ObjectId OSSearchOperation::matchFileForHash(const QString &hash)
{
    if (hash.isEmpty())
        return {};
    for (const VideoFileSearchDictionary &file : files()) {
        if (!file.fileHash.isNull() && file.fileHash == hash) {
            m_hashFoundSet.insert(hash);
            return file.objectID;
        }
    }
    return {};
}

ObjectId OSSearchOperation::matchFileForImdb(const QString &imdb, const VideoFileSearchList &copies)
{
    if (imdb.isEmpty())
        return {};
    for (const VideoFileSearchDictionary &copy : copies) {
        if (copy.imdbB == imdb) {
            if (!copy.fileHash.isNull())
                m_hashFoundSet.insert(copy.fileHash);
            return copy.objectID;
        }
    }
    return {};
}

void OSSearchOperation::matchVideoFilesUsingHash(QList<TNRemoteSubtitle> &subtitles)
{
    for (TNRemoteSubtitle &subtitle : subtitles)
        subtitle.videoFileOID = matchFileForHash(subtitle.subHash);
}

void OSSearchOperation::matchVideoFilesUsingImdb(const VideoFileSearchList &copies,
                                                 QList<TNRemoteSubtitle> &subtitles)
{
    for (TNRemoteSubtitle &subtitle : subtitles)
        subtitle.videoFileOID = matchFileForImdb(subtitle.imdbID, copies);
}

VideoFileSearchList OSSearchOperation::getFilesWithoutSubtitles() const
{
    VideoFileSearchList without;
    for (const VideoFileSearchDictionary &file : files()) {
        if (!file.fileHash.isNull() && !m_hashFoundSet.contains(file.fileHash))
            without.append(file);
    }
    return without;
}

VideoFileSearchList OSSearchOperation::getFiles(const VideoFileSearchList &files,
                                                const QMap<QString, QString> &imdbByHash)
{
    VideoFileSearchList copies;
    for (const VideoFileSearchDictionary &file : files) {
        const auto imdb = imdbByHash.constFind(file.fileHash);
        if (file.fileHash.isNull() || imdb == imdbByHash.cend())
            continue;
        VideoFileSearchDictionary copy = file;
        copy.imdbB = *imdb;
        copies.append(copy);
    }
    return copies;
}
