#include "app/list/CatalogueTreeModel.h"

#include "app/list/TNCell.h"
#include "app/preferences/ValueTransformers.h"
#include "catalogue/CatalogueSortOrder.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"
#include "platform/PathUtilities.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

// How long one turn of the event loop may spend reading sort keys.
constexpr qint64 KeySliceMs = 8;

} // namespace

CatalogueTreeModel::CatalogueTreeModel(TNModelController &catalogue, QObject *parent)
    : QAbstractItemModel(parent), m_catalogue(catalogue)
{
    m_pendingTimer.setSingleShot(true);
    connect(&m_pendingTimer, &QTimer::timeout, this, &CatalogueTreeModel::insertPendingRows);
    m_keyReader.setSingleShot(true);
    m_keyReader.setInterval(0);
    connect(&m_keyReader, &QTimer::timeout, this, &CatalogueTreeModel::readSortKeys);
    connect(&catalogue, &TNModelController::videoFileInserted, this,
            &CatalogueTreeModel::videoFileInserted);
    connect(&catalogue, &TNModelController::subtitleMoved, this,
            &CatalogueTreeModel::subtitleMoved);
    connect(&catalogue, &TNModelController::objectChanged, this,
            &CatalogueTreeModel::objectChanged);
    connect(&catalogue, &TNModelController::aboutToClear, this, &CatalogueTreeModel::beginClear);
    connect(&catalogue, &TNModelController::cleared, this, &CatalogueTreeModel::reset);
    reload();
}

CatalogueTreeModel::~CatalogueTreeModel()
{
    joinSorter();
}

void CatalogueTreeModel::reload()
{
    m_pendingTimer.stop();
    m_pendingVideos = {};
    m_pendingCandidates = {};
    m_videos = {};
    m_rows = {};
    // Swapped rather than cleared, so that a cleared list gives its memory back.
    std::deque<Row>().swap(m_rowStore);
    std::vector<Row *>().swap(m_freeRows);
    const QList<VideoFile *> videos = m_catalogue.getAllVideoFiles();
    m_rows.reserve(videos.size());
    for (VideoFile *video : videos)
        adopt(video);
}

void CatalogueTreeModel::beginClear()
{
    ++m_generation;
    m_keyReader.stop();
    beginResetModel();
}

void CatalogueTreeModel::reset()
{
    reload();
    endResetModel();
}

CatalogueTreeModel::Row *CatalogueTreeModel::newRow(SubsBase *object, Row *parent, int number)
{
    Row *row = nullptr;
    if (m_freeRows.empty()) {
        row = &m_rowStore.emplace_back();
    } else {
        row = m_freeRows.back();
        m_freeRows.pop_back();
        *row = Row();
    }
    row->object = object;
    row->parent = parent;
    row->number = number;
    row->leaf = object->isLeaf().value_or(false);
    m_rows.insert(object, row);
    return row;
}

void CatalogueTreeModel::releaseRow(Row *row)
{
    m_rows.remove(row->object);
    *row = Row();
    m_freeRows.push_back(row);
}

void CatalogueTreeModel::adopt(VideoFile *video)
{
    Row *videoRow = newRow(video, nullptr, static_cast<int>(m_videos.size()));
    m_videos.append(videoRow);
    videoRow->children.reserve(video->subtitles().size());
    for (Subtitle *subtitle : video->subtitles())
        videoRow->children.append(
            newRow(subtitle, videoRow, static_cast<int>(videoRow->children.size())));
}

void CatalogueTreeModel::videoFileInserted(VideoFile *video)
{
    m_pendingVideos.append(video);
    if (m_grouping)
        scheduleGroup();
    else
        insertPendingRows();
}

void CatalogueTreeModel::scheduleGroup()
{
    // Each group lays out every row again: longer lists wait a little longer, so that laying
    // out takes the same share of the main thread at any size.
    if (!m_pendingTimer.isActive())
        m_pendingTimer.start(PendingRowsDelayMs + static_cast<int>(m_rows.size() / RowsPerExtraMs));
}

void CatalogueTreeModel::setGroupingInsertions(bool grouping)
{
    m_grouping = grouping;
    if (!grouping)
        insertPendingRows();
}

void CatalogueTreeModel::insertPendingRows()
{
    m_pendingTimer.stop();
    if (!m_pendingVideos.isEmpty()) {
        const auto first = static_cast<int>(m_videos.size());
        beginInsertRows({}, first, first + static_cast<int>(m_pendingVideos.size()) - 1);
        m_rows.reserve(m_rows.size() + m_pendingVideos.size());
        for (VideoFile *video : std::as_const(m_pendingVideos))
            adopt(video);
        m_pendingVideos = {};
        endInsertRows();
    }
    insertPendingCandidates();
}

void CatalogueTreeModel::insertPendingCandidates()
{
    if (m_pendingCandidates.isEmpty())
        return;
    // Each video's newcomers go in as one block, videos in the order they first got one.
    QList<Row *> parents;
    QHash<Row *, QList<Subtitle *>> arrivals;
    for (Subtitle *subtitle : std::as_const(m_pendingCandidates)) {
        Row *parentRow = m_rows.value(subtitle->parent());
        // A video shown in this same group brought its candidates along.
        if (!parentRow || m_rows.contains(subtitle))
            continue;
        QList<Subtitle *> &list = arrivals[parentRow];
        if (list.isEmpty())
            parents.append(parentRow);
        list.append(subtitle);
    }
    m_pendingCandidates = {};
    for (Row *parentRow : std::as_const(parents)) {
        const QList<Subtitle *> &list = arrivals[parentRow];
        const auto first = static_cast<int>(parentRow->children.size());
        beginInsertRows(indexForRow(parentRow), first, first + static_cast<int>(list.size()) - 1);
        for (Subtitle *subtitle : list)
            parentRow->children.append(
                newRow(subtitle, parentRow, static_cast<int>(parentRow->children.size())));
        ++parentRow->changes;
        endInsertRows();
    }
}

void CatalogueTreeModel::removeCandidate(Subtitle *subtitle)
{
    Row *row = m_rows.value(subtitle);
    if (!row || !row->parent)
        return;
    Row *parentRow = row->parent;
    beginRemoveRows(indexForRow(parentRow), row->number, row->number);
    parentRow->children.removeAt(row->number);
    for (qsizetype number = row->number; number < parentRow->children.size(); ++number)
        parentRow->children.at(number)->number = static_cast<int>(number);
    ++parentRow->changes;
    endRemoveRows();
    releaseRow(row);
}

void CatalogueTreeModel::subtitleMoved(Subtitle *subtitle, VideoFile *from, VideoFile *to)
{
    if (from) {
        m_pendingCandidates.removeOne(subtitle);
        removeCandidate(subtitle);
    }
    if (!to)
        return;
    m_pendingCandidates.append(subtitle);
    if (m_grouping)
        scheduleGroup();
    else
        insertPendingCandidates();
}

void CatalogueTreeModel::objectChanged(SubsBase *object, SubsBase::Attribute)
{
    const QModelIndex changed = indexForObject(object);
    if (changed.isValid())
        Q_EMIT dataChanged(changed, changed);
}

void CatalogueTreeModel::rearrangeObjects()
{
    insertPendingRows();
    joinSorter();
    m_arrangement = std::make_unique<Arrangement>();
    m_arrangement->generation = ++m_generation;
    m_arrangement->levels.emplace_back();
    m_arrangement->levels.front().rows.reserve(static_cast<size_t>(m_videos.size()));
    m_keyReader.start();
}

void CatalogueTreeModel::readSortKeys()
{
    Arrangement &arrangement = *m_arrangement;
    QElapsedTimer slice;
    slice.start();
    while (arrangement.nextVideo < m_videos.size()) {
        Row *videoRow = m_videos.at(arrangement.nextVideo++);
        // Adding a level below may move the first one: it is looked up each time.
        arrangement.levels.front().rows.emplace_back(CatalogueSortOrder::keyOf(*videoRow->object),
                                                     videoRow);
        if (videoRow->children.size() > 1) {
            SortLevel &candidates = arrangement.levels.emplace_back();
            candidates.parent = videoRow;
            candidates.changes = videoRow->changes;
            candidates.rows.reserve(static_cast<size_t>(videoRow->children.size()));
            for (Row *row : std::as_const(videoRow->children))
                candidates.rows.emplace_back(CatalogueSortOrder::keyOf(*row->object), row);
        }
        if (arrangement.nextVideo % 256 == 0 && slice.hasExpired(KeySliceMs)) {
            m_keyReader.start();
            return;
        }
    }
    // The keys are plain values now: the thread never sees a catalogue object.
    const quint64 generation = arrangement.generation;
    m_sorter = std::thread([this, &arrangement, generation] {
        for (SortLevel &level : arrangement.levels)
            sortLevel(level);
        QMetaObject::invokeMethod(
            this, [this, generation] { sortFinished(generation); }, Qt::QueuedConnection);
    });
}

void CatalogueTreeModel::sortLevel(SortLevel &level)
{
    using Keyed = std::pair<CatalogueSortOrder::Key, Row *>;
    std::stable_sort(level.rows.begin(), level.rows.end(), [](const Keyed &a, const Keyed &b) {
        return CatalogueSortOrder::compare(a.first, b.first) < 0;
    });
}

void CatalogueTreeModel::joinSorter()
{
    if (m_sorter.joinable())
        m_sorter.join();
}

void CatalogueTreeModel::sortFinished(quint64 generation)
{
    // A clear or a newer arrangement made this one stale.
    if (!m_arrangement || m_arrangement->generation != generation || generation != m_generation)
        return;
    joinSorter();
    std::unique_ptr<Arrangement> arrangement = std::move(m_arrangement);
    applyArrangement(*arrangement);
    // Key reading frees many small strings; it is done once the rows show the new order.
    arrangement.reset();
    Q_EMIT rearranged();
}

void CatalogueTreeModel::applyArrangement(Arrangement &arrangement)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();

    // Videos are only ever appended between clears: the ones that came after the keys were
    // read keep their place at the end.
    const SortLevel &videos = arrangement.levels.front();
    for (size_t number = 0; number < videos.rows.size(); ++number)
        m_videos[static_cast<qsizetype>(number)] = videos.rows[number].second;
    for (auto level = arrangement.levels.begin() + 1; level != arrangement.levels.end(); ++level) {
        Row *parentRow = level->parent;
        // Candidates that came or went since their keys were read: sort them anew.
        if (parentRow->changes != level->changes) {
            level->rows.clear();
            for (Row *row : std::as_const(parentRow->children))
                level->rows.emplace_back(CatalogueSortOrder::keyOf(*row->object), row);
            sortLevel(*level);
        }
        for (size_t number = 0; number < level->rows.size(); ++number) {
            Row *row = level->rows[number].second;
            parentRow->children[static_cast<qsizetype>(number)] = row;
            row->number = static_cast<int>(number);
        }
    }
    for (qsizetype number = 0; number < m_videos.size(); ++number)
        m_videos.at(number)->number = static_cast<int>(number);

    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after.append(indexForRow(rowForIndex(index)));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

CatalogueTreeModel::Row *CatalogueTreeModel::rowForIndex(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<Row *>(index.internalPointer());
}

QModelIndex CatalogueTreeModel::indexForRow(Row *row) const
{
    return row ? createIndex(row->number, 0, row) : QModelIndex();
}

SubsBase *CatalogueTreeModel::objectForIndex(const QModelIndex &index) const
{
    const Row *row = rowForIndex(index);
    return row ? row->object : nullptr;
}

QModelIndex CatalogueTreeModel::indexForObject(const SubsBase *object) const
{
    return indexForRow(m_rows.value(object));
}

QModelIndex CatalogueTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    const QList<Row *> *rows = &m_videos;
    if (parent.isValid()) {
        const Row *parentRow = rowForIndex(parent);
        if (!parentRow)
            return {};
        rows = &parentRow->children;
    }
    return row < rows->size() ? createIndex(row, 0, rows->at(row)) : QModelIndex();
}

QModelIndex CatalogueTreeModel::parent(const QModelIndex &child) const
{
    const Row *row = rowForIndex(child);
    return row ? indexForRow(row->parent) : QModelIndex();
}

int CatalogueTreeModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return static_cast<int>(m_videos.size());
    const Row *row = parent.column() == 0 ? rowForIndex(parent) : nullptr;
    return row ? static_cast<int>(row->children.size()) : 0;
}

bool CatalogueTreeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

int CatalogueTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant CatalogueTreeModel::data(const QModelIndex &index, int role) const
{
    const SubsBase *object = objectForIndex(index);
    if (!object)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return displayText(*object);
    case Qt::ToolTipRole:
        return object->fileName().value_or(QString());
    case Qt::AccessibleTextRole:
        return PathUtilities::lastPathComponent(object->fileName().value_or(QString()));
    case Qt::AccessibleDescriptionRole:
        return accessibleDescription(*object);
    default:
        return {};
    }
}

QString CatalogueTreeModel::accessibleDescription(const SubsBase &object)
{
    if (const auto *video = dynamic_cast<const VideoFile *>(&object))
        return TNCell::videoFileDetails(*video);
    const auto *subtitle = dynamic_cast<const Subtitle *>(&object);
    if (!subtitle)
        return {};
    // What the row shows by its flag, service name and status image.
    const QString service = subtitle->service().value_or(QString());
    QStringList parts{ValueTransformers::languageNameTransform(subtitle->language()), service};
    parts.removeIf([](const QString &part) { return part.isEmpty(); });
    QString text = parts.join(QLatin1String(", "));
    const QString status =
        TNCell::statusText(subtitle->status().value_or(SubtitleStatusNotSelected), service);
    if (!status.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(". ")) + status;
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString CatalogueTreeModel::displayText(const SubsBase &object)
{
    const QString fileName =
        PathUtilities::lastPathComponent(object.fileName().value_or(QString()));
    const auto *subtitle = dynamic_cast<const Subtitle *>(&object);
    if (!subtitle)
        return fileName;
    QStringList parts{subtitle->language(), subtitle->service().value_or(QString()), fileName};
    parts.removeIf([](const QString &part) { return part.isEmpty(); });
    return parts.join(QLatin1String("  "));
}

Qt::ItemFlags CatalogueTreeModel::flags(const QModelIndex &index) const
{
    const Row *row = rowForIndex(index);
    if (!row)
        return Qt::NoItemFlags;
    if (row->leaf)
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
