#pragma once

#include "catalogue/SubsBase.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <QTimer>

class Subtitle;
class TNModelController;
class VideoFile;

// The results list's rows: videos at the top, each video's candidates below it. It follows
// the catalogue's change signals; new rows go at the end until rearrangeObjects() sorts.
// While grouping is on, new videos are shown in groups, a moment after they arrive, so that
// a large import does not make the view lay out every row once per file.
class CatalogueTreeModel final : public QAbstractItemModel
{
    Q_OBJECT

public:
    static constexpr int PendingRowsDelayMs = 100;

    explicit CatalogueTreeModel(TNModelController &catalogue, QObject *parent = nullptr);

    // Turning grouping off shows the waiting videos at once.
    void setGroupingInsertions(bool grouping);

    // Applies the list's sort order to every level.
    void rearrangeObjects();

    // The catalogue object shown at index, or null.
    SubsBase *objectForIndex(const QModelIndex &index) const;
    QModelIndex indexForObject(const SubsBase *object) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void videoFileInserted(VideoFile *video);
    // Shows the videos that arrived since the last group at once.
    void insertPendingRows();
    void subtitleMoved(Subtitle *subtitle, VideoFile *from, VideoFile *to);
    void objectChanged(SubsBase *object, SubsBase::Attribute attribute);
    void reload();
    void reset();
    // Appends the video and its candidates to the rows.
    void adopt(VideoFile *video);
    // Puts the rows in the list's order and numbers them.
    void sortRows(QList<SubsBase *> &rows);
    // Rows of the list's members, after the list itself changed.
    void renumber(const QList<SubsBase *> &rows);

    static QString displayText(const SubsBase &object);
    // A row's second line, or a candidate's language, service and status, for screen readers.
    static QString accessibleDescription(const SubsBase &object);

    TNModelController &m_catalogue;
    QList<VideoFile *> m_pendingVideos;
    QTimer m_pendingTimer;
    bool m_grouping = false;
    QList<SubsBase *> m_videos;
    QHash<const SubsBase *, QList<SubsBase *>> m_children;
    QHash<const SubsBase *, int> m_rowOf;
    QHash<const SubsBase *, const SubsBase *> m_parentOf;
};
