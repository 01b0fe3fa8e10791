#pragma once

#include "catalogue/ObjectId.h"
#include "catalogue/SubsBase.h"
#include "catalogue/Subtitle.h"
#include "catalogue/VideoFile.h"

#include <QList>
#include <QMultiHash>
#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>
#include <unordered_map>

// The catalogue of one run: an in-memory store of videos and their subtitle candidates, never
// saved. The only place where catalogue objects are created, looked up, counted and deleted.
// Ready for use once constructed; main thread only. Fetches give objects in the order they
// were inserted.
class TNModelController final : public QObject
{
    Q_OBJECT

public:
    explicit TNModelController(QObject *parent = nullptr);
    ~TNModelController() override;

    // The video whose fileName is exactly path when there is one such video; otherwise a new
    // video with that fileName. Re-importing a path thus keeps its video and candidates.
    VideoFile *insertVideoFile(const QString &path);
    // A new candidate without a video.
    Subtitle *insertSubtitle();
    // Attaches subtitle to video when both are given.
    void addSubtitle(Subtitle *subtitle, VideoFile *video);

    // Null for a null, unknown or removed identifier, and for one of the other kind.
    VideoFile *videoFileWithID(ObjectId id) const;
    Subtitle *subtitleWithID(ObjectId id) const;
    // The one candidate whose fileName is exactly path; null when none or several.
    Subtitle *getSubtitleByPath(const QString &path) const;

    QList<Subtitle *> getAllSubtitles() const;
    QList<VideoFile *> getAllVideoFiles() const;
    QList<VideoFile *> getVideoFilesToSearch() const;
    QList<Subtitle *> getSubtitlesWithLoginError() const;
    // Candidates still to download whose service is exactly key; a null key takes every
    // service.
    QList<Subtitle *> getSubtitlesToDownloadForService(const QString &key) const;
    QList<Subtitle *> getSubtitlesToDownload() const;
    std::size_t countSubtitles() const;
    std::size_t countVideoFiles() const;
    std::size_t countVideoFilesToSearch() const;
    std::size_t countSubtitlesToDownload() const;
    std::size_t countSubtitlesDownloaded() const;

    // Deletes every object, attached or not. The store stays usable, and empty at once; the
    // objects themselves are freed a slice at a time over the next turns of the event loop.
    void removeAll();
    void flagAllVideoFilesToSearch();
    // Rebuilds the selection of video's candidates: the best-rated candidate of each language
    // is selected, the others that take part are cleared.
    void checkHighestSubtitle(VideoFile *video);

Q_SIGNALS:
    // A new video, last in the fetch order.
    void videoFileInserted(VideoFile *video);
    // A new candidate, not yet attached.
    void subtitleInserted(Subtitle *subtitle);
    // A candidate leaves the end or middle of from's children (when from is set) and goes to
    // the end of to's children (when to is set). The "about" signal comes before any list
    // changes, the other after.
    void subtitleAboutToMove(Subtitle *subtitle, VideoFile *from, VideoFile *to);
    void subtitleMoved(Subtitle *subtitle, VideoFile *from, VideoFile *to);
    void objectChanged(SubsBase *object, SubsBase::Attribute attribute);
    // Every object is about to be deleted, or has been.
    void aboutToClear();
    void cleared();

private:
    friend class SubsBase;
    friend class Subtitle;

    template <typename Object> Object *objectWithID(ObjectId id) const;
    template <typename Object> Object *uniqueWithFileName(const QString &path) const;
    template <typename Object, typename Predicate>
    static QList<Object *> filtered(const QList<Object *> &objects, Predicate predicate);
    template <typename Object, typename Predicate>
    static std::size_t counted(const QList<Object *> &objects, Predicate predicate);
    QList<Subtitle *> subtitlesToDownload(const QString *service) const;

    void attributeChanged(SubsBase *object, SubsBase::Attribute attribute);
    void fileNameChanged(SubsBase *object, const std::optional<QString> &previous);
    void moveSubtitle(Subtitle *subtitle, VideoFile *video);

    using Objects = std::unordered_map<quint64, std::unique_ptr<SubsBase>>;
    using ByFileName = QMultiHash<std::size_t, SubsBase *>;

    // What one clear took out of the store, freed where the last slice stopped.
    struct Removed
    {
        Objects objects;
        ByFileName byFileName;
        bool started = false;
        Objects::iterator nextObject;
        ByFileName::iterator nextName;
    };
    void freeRemovedSlice();

    Objects m_objects;
    std::deque<Removed> m_removed;
    QTimer m_removal;
    QList<VideoFile *> m_videoFiles;
    QList<Subtitle *> m_subtitles;
    // Keyed by the hash of the file name, so that growing the index never hashes every path
    // again: that held the main thread for tens of milliseconds at 65,536 videos.
    ByFileName m_byFileName;
};
