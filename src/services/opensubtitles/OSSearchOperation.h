#pragma once

#include "services/SubtitleSearchOperation.h"

#include <QMap>

class OSApi;

// Searches OpenSubtitles in three stages, each for the videos the stages before left
// without results: by movie hash, by IMDB number (from the service's hash check), and by
// name, one video at a time. It never logs out: the session serves the next search.
class OSSearchOperation : public SubtitleSearchOperation
{
    Q_OBJECT

public:
    using SubtitleSearchOperation::SubtitleSearchOperation;

protected:
    void main() override;

private:
    // Answers whether cancellation cut the run short.
    bool search(OSApi &api);
    void closingCalls(OSApi &api);

    ObjectId matchFileForHash(const QString &hash);
    ObjectId matchFileForImdb(const QString &imdb, const VideoFileSearchList &copies);
    void matchVideoFilesUsingHash(QList<TNRemoteSubtitle> &subtitles);
    void matchVideoFilesUsingImdb(const VideoFileSearchList &copies,
                                  QList<TNRemoteSubtitle> &subtitles);
    VideoFileSearchList getFilesWithoutSubtitles() const;
    static VideoFileSearchList getFiles(const VideoFileSearchList &files,
                                        const QMap<QString, QString> &imdbByHash);
};
