#include "catalogue/TNModelController.h"

#include "catalogue/Subtitle.h"
#include "catalogue/VideoFile.h"
#include "platform/MainThread.h"

#include <QElapsedTimer>
#include <QVarLengthArray>

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

bool isToSearch(const VideoFile *video)
{
    return video->modified() == true;
}

bool isToDownload(const Subtitle *subtitle)
{
    return subtitle->status() && *subtitle->status() >= SubtitleStatusSelected;
}

bool hasStatus(const Subtitle *subtitle, SubtitleStatus status)
{
    return subtitle->status() == status;
}

bool takesPartInSelection(const Subtitle *subtitle)
{
    const std::optional<qint32> status = subtitle->status();
    return !status || *status == SubtitleStatusNotSelected || *status == SubtitleStatusSelected;
}

} // namespace

namespace {

// How long one turn of the event loop may spend freeing cleared objects.
constexpr qint64 FreeSliceMs = 8;

} // namespace

TNModelController::TNModelController(QObject *parent) : QObject(parent)
{
    m_removal.setInterval(0);
    connect(&m_removal, &QTimer::timeout, this, &TNModelController::freeRemovedSlice);
}

TNModelController::~TNModelController() = default;

VideoFile *TNModelController::insertVideoFile(const QString &path)
{
    Q_ASSERT(MainThread::isCurrent());
    if (VideoFile *existing = uniqueWithFileName<VideoFile>(path))
        return existing;
    auto owned = std::make_unique<VideoFile>(*this);
    VideoFile *video = owned.get();
    m_objects.emplace(video->objectID().value(), std::move(owned));
    m_videoFiles.append(video);
    if (!path.isNull()) {
        video->m_fileName = path;
        m_byFileName.insert(qHash(path), video);
    }
    Q_EMIT videoFileInserted(video);
    return video;
}

Subtitle *TNModelController::insertSubtitle()
{
    Q_ASSERT(MainThread::isCurrent());
    auto owned = std::make_unique<Subtitle>(*this);
    Subtitle *subtitle = owned.get();
    m_objects.emplace(subtitle->objectID().value(), std::move(owned));
    m_subtitles.append(subtitle);
    Q_EMIT subtitleInserted(subtitle);
    return subtitle;
}

void TNModelController::addSubtitle(Subtitle *subtitle, VideoFile *video)
{
    if (subtitle && video)
        subtitle->setParent(video);
}

template <typename Object> Object *TNModelController::objectWithID(ObjectId id) const
{
    Q_ASSERT(MainThread::isCurrent());
    const auto found = m_objects.find(id.value());
    return found == m_objects.end() ? nullptr : dynamic_cast<Object *>(found->second.get());
}

VideoFile *TNModelController::videoFileWithID(ObjectId id) const
{
    return objectWithID<VideoFile>(id);
}

Subtitle *TNModelController::subtitleWithID(ObjectId id) const
{
    return objectWithID<Subtitle>(id);
}

template <typename Object> Object *TNModelController::uniqueWithFileName(const QString &path) const
{
    Q_ASSERT(MainThread::isCurrent());
    if (path.isNull())
        return nullptr;
    Object *match = nullptr;
    const std::size_t key = qHash(path);
    for (auto it = m_byFileName.constFind(key); it != m_byFileName.cend() && it.key() == key;
         ++it) {
        if (it.value()->fileName() != path)
            continue;
        if (auto *object = dynamic_cast<Object *>(it.value())) {
            if (match)
                return nullptr;
            match = object;
        }
    }
    return match;
}

Subtitle *TNModelController::getSubtitleByPath(const QString &path) const
{
    Q_ASSERT(MainThread::isCurrent());
    if (path.isNull())
        return nullptr;
    Subtitle *match = nullptr;
    for (Subtitle *subtitle : m_subtitles) {
        if (subtitle->fileName() == path) {
            if (match)
                return nullptr;
            match = subtitle;
        }
    }
    return match;
}

template <typename Object, typename Predicate>
QList<Object *> TNModelController::filtered(const QList<Object *> &objects, Predicate predicate)
{
    Q_ASSERT(MainThread::isCurrent());
    QList<Object *> matches;
    std::copy_if(objects.cbegin(), objects.cend(), std::back_inserter(matches), predicate);
    return matches;
}

QList<Subtitle *> TNModelController::getAllSubtitles() const
{
    Q_ASSERT(MainThread::isCurrent());
    return m_subtitles;
}

QList<VideoFile *> TNModelController::getAllVideoFiles() const
{
    Q_ASSERT(MainThread::isCurrent());
    return m_videoFiles;
}

QList<VideoFile *> TNModelController::getVideoFilesToSearch() const
{
    return filtered(m_videoFiles, isToSearch);
}

QList<Subtitle *> TNModelController::getSubtitlesWithLoginError() const
{
    return filtered(m_subtitles, [](const Subtitle *subtitle) {
        return hasStatus(subtitle, SubtitleStatusLoginError);
    });
}

QList<Subtitle *> TNModelController::subtitlesToDownload(const QString *service) const
{
    // The key is compared as a value; it never becomes part of any query text.
    return filtered(m_subtitles, [service](const Subtitle *subtitle) {
        return isToDownload(subtitle) && (!service || subtitle->service() == *service);
    });
}

QList<Subtitle *> TNModelController::getSubtitlesToDownloadForService(const QString &key) const
{
    return subtitlesToDownload(key.isNull() ? nullptr : &key);
}

QList<Subtitle *> TNModelController::getSubtitlesToDownload() const
{
    return subtitlesToDownload(nullptr);
}

template <typename Object, typename Predicate>
std::size_t TNModelController::counted(const QList<Object *> &objects, Predicate predicate)
{
    Q_ASSERT(MainThread::isCurrent());
    return static_cast<std::size_t>(std::count_if(objects.cbegin(), objects.cend(), predicate));
}

std::size_t TNModelController::countSubtitles() const
{
    Q_ASSERT(MainThread::isCurrent());
    return static_cast<std::size_t>(m_subtitles.size());
}

std::size_t TNModelController::countVideoFiles() const
{
    Q_ASSERT(MainThread::isCurrent());
    return static_cast<std::size_t>(m_videoFiles.size());
}

std::size_t TNModelController::countVideoFilesToSearch() const
{
    return counted(m_videoFiles, isToSearch);
}

std::size_t TNModelController::countSubtitlesToDownload() const
{
    return counted(m_subtitles, isToDownload);
}

std::size_t TNModelController::countSubtitlesDownloaded() const
{
    return counted(m_subtitles, [](const Subtitle *subtitle) {
        return hasStatus(subtitle, SubtitleStatusDownloaded);
    });
}

void TNModelController::removeAll()
{
    Q_ASSERT(MainThread::isCurrent());
    Q_EMIT aboutToClear();
    // Assigned anew rather than cleared, so that no container keeps its capacity.
    m_videoFiles = {};
    m_subtitles = {};
    Removed &removed = m_removed.emplace_back();
    removed.objects = std::exchange(m_objects, {});
    removed.byFileName = std::exchange(m_byFileName, {});
    Q_EMIT cleared();
    m_removal.start();
}

void TNModelController::freeRemovedSlice()
{
    QElapsedTimer slice;
    slice.start();
    int freed = 0;
    const auto sliceOver = [&] { return ++freed % 256 == 0 && slice.hasExpired(FreeSliceMs); };
    while (!m_removed.empty()) {
        Removed &removed = m_removed.front();
        if (!removed.started) {
            removed.nextName = removed.byFileName.begin();
            removed.nextObject = removed.objects.begin();
            removed.started = true;
        }
        while (removed.nextName != removed.byFileName.end()) {
            removed.nextName = removed.byFileName.erase(removed.nextName);
            if (sliceOver())
                return;
        }
        while (removed.nextObject != removed.objects.end()) {
            removed.nextObject = removed.objects.erase(removed.nextObject);
            if (sliceOver())
                return;
        }
        m_removed.pop_front();
    }
    m_removal.stop();
#ifdef __GLIBC__
    // The many small objects of a large list leave free pages inside the heap, which the
    // allocator would otherwise keep for the rest of the run.
    malloc_trim(0);
#endif
}

void TNModelController::flagAllVideoFilesToSearch()
{
    Q_ASSERT(MainThread::isCurrent());
    for (VideoFile *video : std::as_const(m_videoFiles))
        video->setModified(true);
}

void TNModelController::checkHighestSubtitle(VideoFile *video)
{
    Q_ASSERT(MainThread::isCurrent());
    if (!video)
        return;
    // One pass over the candidates: a video is offered few languages, so the best of each is
    // kept in a short list. A candidate is cleared once it is known to lose, and the best are
    // selected at the end, so that a candidate whose status stays is never changed. A
    // candidate without a language has no key to compete under: it stays out and keeps
    // whatever status it has, so a user's tick survives.
    QVarLengthArray<std::pair<QString, Subtitle *>, 8> best;
    for (Subtitle *candidate : video->subtitles()) {
        const QString language = candidate->language();
        if (!takesPartInSelection(candidate) || language.isNull())
            continue;
        const auto entry = std::find_if(best.begin(), best.end(),
                                        [&](const auto &kept) { return kept.first == language; });
        if (entry == best.end()) {
            best.append({language, candidate});
        } else if (candidate->rating() > entry->second->rating()) {
            entry->second->setStatus(std::nullopt);
            entry->second = candidate;
        } else {
            candidate->setStatus(std::nullopt);
        }
    }
    for (const auto &[language, candidate] : best)
        candidate->setStatus(SubtitleStatusSelected);
}

void TNModelController::attributeChanged(SubsBase *object, SubsBase::Attribute attribute)
{
    Q_ASSERT(MainThread::isCurrent());
    Q_EMIT objectChanged(object, attribute);
}

void TNModelController::fileNameChanged(SubsBase *object, const std::optional<QString> &previous)
{
    // Candidates come by the ten thousand and are almost never looked up by name: indexing
    // them would only make the index grow in stalls.
    if (!dynamic_cast<VideoFile *>(object))
        return;
    if (previous)
        m_byFileName.remove(qHash(*previous), object);
    if (object->fileName())
        m_byFileName.insert(qHash(*object->fileName()), object);
}

void TNModelController::moveSubtitle(Subtitle *subtitle, VideoFile *video)
{
    Q_ASSERT(MainThread::isCurrent());
    Q_ASSERT(!video || &video->m_store == this);
    VideoFile *from = subtitle->m_parent;
    if (from == video)
        return;
    Q_EMIT subtitleAboutToMove(subtitle, from, video);
    if (from)
        from->m_subtitles.removeOne(subtitle);
    subtitle->m_parent = video;
    if (video)
        video->m_subtitles.append(subtitle);
    Q_EMIT subtitleMoved(subtitle, from, video);
}
