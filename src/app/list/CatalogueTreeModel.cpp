#include "app/list/CatalogueTreeModel.h"

#include "app/list/TNCell.h"
#include "app/preferences/ValueTransformers.h"
#include "catalogue/CatalogueSortOrder.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"
#include "platform/PathUtilities.h"

#include <algorithm>
#include <vector>

CatalogueTreeModel::CatalogueTreeModel(TNModelController &catalogue, QObject *parent)
    : QAbstractItemModel(parent), m_catalogue(catalogue)
{
    m_pendingTimer.setSingleShot(true);
    m_pendingTimer.setInterval(PendingRowsDelayMs);
    connect(&m_pendingTimer, &QTimer::timeout, this, &CatalogueTreeModel::insertPendingRows);
    connect(&catalogue, &TNModelController::videoFileInserted, this,
            &CatalogueTreeModel::videoFileInserted);
    connect(&catalogue, &TNModelController::subtitleMoved, this,
            &CatalogueTreeModel::subtitleMoved);
    connect(&catalogue, &TNModelController::objectChanged, this,
            &CatalogueTreeModel::objectChanged);
    connect(&catalogue, &TNModelController::aboutToClear, this,
            &CatalogueTreeModel::beginResetModel);
    connect(&catalogue, &TNModelController::cleared, this, &CatalogueTreeModel::reset);
    reload();
}

void CatalogueTreeModel::reload()
{
    m_pendingTimer.stop();
    m_pendingVideos.clear();
    m_videos.clear();
    m_children.clear();
    m_rowOf.clear();
    m_parentOf.clear();
    for (VideoFile *video : m_catalogue.getAllVideoFiles())
        adopt(video);
}

void CatalogueTreeModel::reset()
{
    reload();
    endResetModel();
}

void CatalogueTreeModel::adopt(VideoFile *video)
{
    m_rowOf.insert(video, static_cast<int>(m_videos.size()));
    m_videos.append(video);
    QList<SubsBase *> &children = m_children[video];
    for (Subtitle *subtitle : video->subtitles()) {
        m_rowOf.insert(subtitle, static_cast<int>(children.size()));
        m_parentOf.insert(subtitle, video);
        children.append(subtitle);
    }
}

void CatalogueTreeModel::renumber(const QList<SubsBase *> &rows)
{
    for (int row = 0; row < rows.size(); ++row)
        m_rowOf.insert(rows.at(row), row);
}

void CatalogueTreeModel::videoFileInserted(VideoFile *video)
{
    m_pendingVideos.append(video);
    if (!m_grouping)
        insertPendingRows();
    else if (!m_pendingTimer.isActive())
        m_pendingTimer.start();
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
    if (m_pendingVideos.isEmpty())
        return;
    const auto first = static_cast<int>(m_videos.size());
    beginInsertRows({}, first, first + static_cast<int>(m_pendingVideos.size()) - 1);
    for (VideoFile *video : std::as_const(m_pendingVideos))
        adopt(video);
    m_pendingVideos.clear();
    endInsertRows();
}

void CatalogueTreeModel::subtitleMoved(Subtitle *subtitle, VideoFile *from, VideoFile *to)
{
    if (from && m_children.contains(from)) {
        QList<SubsBase *> &children = m_children[from];
        const auto row = static_cast<int>(children.indexOf(subtitle));
        if (row >= 0) {
            beginRemoveRows(indexForObject(from), row, row);
            children.removeAt(row);
            m_rowOf.remove(subtitle);
            m_parentOf.remove(subtitle);
            renumber(children);
            endRemoveRows();
        }
    }
    if (to && m_children.contains(to)) {
        QList<SubsBase *> &children = m_children[to];
        const auto row = static_cast<int>(children.size());
        beginInsertRows(indexForObject(to), row, row);
        children.append(subtitle);
        m_rowOf.insert(subtitle, row);
        m_parentOf.insert(subtitle, to);
        endInsertRows();
    }
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
    Q_EMIT layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QList<const SubsBase *> objects;
    objects.reserve(before.size());
    for (const QModelIndex &index : before)
        objects.append(objectForIndex(index));

    sortRows(m_videos);
    for (QList<SubsBase *> &children : m_children)
        sortRows(children);

    QModelIndexList after;
    after.reserve(objects.size());
    for (const SubsBase *object : objects)
        after.append(indexForObject(object));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged();
}

void CatalogueTreeModel::sortRows(QList<SubsBase *> &rows)
{
    using Keyed = std::pair<CatalogueSortOrder::Key, SubsBase *>;
    std::vector<Keyed> keyed;
    keyed.reserve(static_cast<size_t>(rows.size()));
    for (SubsBase *object : std::as_const(rows))
        keyed.emplace_back(CatalogueSortOrder::keyOf(*object), object);
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
        return CatalogueSortOrder::compare(a.first, b.first) < 0;
    });
    for (size_t row = 0; row < keyed.size(); ++row) {
        rows[static_cast<qsizetype>(row)] = keyed[row].second;
        m_rowOf.insert(keyed[row].second, static_cast<int>(row));
    }
}

SubsBase *CatalogueTreeModel::objectForIndex(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    // A candidate's index carries its video, a video's index nothing.
    const auto *parentVideo = static_cast<const SubsBase *>(index.internalPointer());
    if (!parentVideo)
        return m_videos.value(index.row());
    const auto children = m_children.constFind(parentVideo);
    return children == m_children.constEnd() ? nullptr : children->value(index.row());
}

QModelIndex CatalogueTreeModel::indexForObject(const SubsBase *object) const
{
    const auto row = m_rowOf.constFind(object);
    if (row == m_rowOf.constEnd())
        return {};
    return createIndex(*row, 0, m_parentOf.value(object));
}

QModelIndex CatalogueTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < m_videos.size() ? createIndex(row, 0, nullptr) : QModelIndex();
    const SubsBase *video = objectForIndex(parent);
    if (!video || video->isLeaf().value_or(false) || row >= m_children.value(video).size())
        return {};
    return createIndex(row, 0, video);
}

QModelIndex CatalogueTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    return indexForObject(static_cast<const SubsBase *>(child.internalPointer()));
}

int CatalogueTreeModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return static_cast<int>(m_videos.size());
    if (parent.column() != 0)
        return 0;
    const SubsBase *object = objectForIndex(parent);
    return object ? static_cast<int>(m_children.value(object).size()) : 0;
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
    const SubsBase *object = objectForIndex(index);
    if (!object)
        return Qt::NoItemFlags;
    if (object->isLeaf().value_or(false))
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
