#pragma once

#include "catalogue/ObjectId.h"
#include "platform/Operation.h"
#include "services/TNRemoteSubtitle.h"

#include <QList>
#include <QStringList>

#include <memory>

class OSApi;
class TNSubDownloadProtocol;

// One subtitle to download: the service's file id and the catalogue subtitle it stands for.
struct OSDownloadEntry
{
    QString subtitleID;
    ObjectId subObjectID;
};

// Downloads a batch of OpenSubtitles subtitles, 30 ids to a session, and then reports every
// entry once, in order, to the delegate on the operation's own thread. Cancelling counts
// only before the downloads begin, and then nothing is reported.
class OSDownloadOperation : public Operation
{
    Q_OBJECT

public:
    static constexpr qsizetype ChunkSize = 30;

    OSDownloadOperation();
    ~OSDownloadOperation() override;

    const QString &username() const { return m_username; }
    void setUsername(const QString &username) { m_username = username; }
    const QString &password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }
    const QList<OSDownloadEntry> &subtitles() const { return m_subtitles; }
    void setSubtitles(const QList<OSDownloadEntry> &subtitles) { m_subtitles = subtitles; }
    // Not owned: it must outlive the operation.
    TNSubDownloadProtocol *subDelegate() const { return m_subDelegate; }
    void setSubDelegate(TNSubDownloadProtocol *delegate) { m_subDelegate = delegate; }
    // The client of the run; null until the run starts.
    OSApi *api() const { return m_api.get(); }

    // Every record the service delivered for the ids, over all chunks, in chunk order. A
    // chunk whose login fails or whose reply cannot be read adds nothing.
    QList<TNRemoteSubtitle> downloadSubtitles(const QStringList &ids);

protected:
    void main() override;

private:
    void reportAll(const QStringList &ids);

    QString m_username;
    QString m_password;
    QList<OSDownloadEntry> m_subtitles;
    TNSubDownloadProtocol *m_subDelegate = nullptr;
    std::unique_ptr<OSApi> m_api;
};
