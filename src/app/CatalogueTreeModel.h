#pragma once

#include "catalogue/SubsBase.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>

class Subtitle;
class TNModelController;
class VideoFile;

// The results list's rows: videos at the top, each video's candidates below it. It follows
// the catalogue's change signals; new rows go at the end until rearrangeObjects() sorts.
class CatalogueTreeModel final : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit CatalogueTreeModel(TNModelController &catalogue, QObject *parent = nullptr);

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
    void subtitleMoved(Subtitle *subtitle, VideoFile *from, VideoFile *to);
    void objectChanged(SubsBase *object, SubsBase::Attribute attribute);
    void reset();
    // Rows of the list's members, after the list itself changed.
    void renumber(const QList<SubsBase *> &rows);

    static QString displayText(const SubsBase &object);

    TNModelController &m_catalogue;
    QList<SubsBase *> m_videos;
    QHash<const SubsBase *, QList<SubsBase *>> m_children;
    QHash<const SubsBase *, int> m_rowOf;
    QHash<const SubsBase *, const SubsBase *> m_parentOf;
};
