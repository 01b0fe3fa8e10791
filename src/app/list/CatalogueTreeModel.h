#pragma once

#include "catalogue/CatalogueSortOrder.h"
#include "catalogue/SubsBase.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <QTimer>

#include <deque>
#include <memory>
#include <thread>
#include <vector>

class Subtitle;
class TNModelController;
class VideoFile;

// The results list's rows: videos at the top, each video's candidates below it. It follows
// the catalogue's change signals; new rows go at the end until rearrangeObjects() sorts.
// While grouping is on, new rows are shown in groups, a moment after they arrive, so that a
// large import or search does not make the view lay out every row once per file or reply.
class CatalogueTreeModel final : public QAbstractItemModel
{
    Q_OBJECT

public:
    static constexpr int PendingRowsDelayMs = 100;
    static constexpr qsizetype RowsPerExtraMs = 1000;

    explicit CatalogueTreeModel(TNModelController &catalogue, QObject *parent = nullptr);
    ~CatalogueTreeModel() override;

    // Turning grouping off shows the waiting rows at once.
    void setGroupingInsertions(bool grouping);
    // Shows the rows that arrived since the last group at once.
    void insertPendingRows();

    // Applies the list's sort order to every level of the rows listed now. The keys are
    // read a slice at a time and sorted on a thread of their own, so a large list never
    // holds the window; rearranged() tells when the rows are in order.
    void rearrangeObjects();

    // The catalogue object shown at index, or null.
    SubsBase *objectForIndex(const QModelIndex &index) const;
    QModelIndex indexForObject(const SubsBase *object) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    void rearranged();

private:
    // One shown row; indexes point at it, so the view's walks over the rows need no lookup.
    struct Row
    {
        SubsBase *object = nullptr;
        Row *parent = nullptr;
        int number = 0;
        bool leaf = false;
        // Counts insertions and removals among the children, to tell a stale sort.
        quint32 changes = 0;
        QList<Row *> children;
    };

    // One level of rows to sort: the videos (no parent) or one video's candidates.
    struct SortLevel
    {
        Row *parent = nullptr;
        quint32 changes = 0;
        std::vector<std::pair<CatalogueSortOrder::Key, Row *>> rows;
    };

    struct Arrangement
    {
        quint64 generation = 0;
        qsizetype nextVideo = 0;
        std::vector<SortLevel> levels;
    };

    void videoFileInserted(VideoFile *video);
    void subtitleMoved(Subtitle *subtitle, VideoFile *from, VideoFile *to);
    void objectChanged(SubsBase *object, SubsBase::Attribute attribute);
    void scheduleGroup();
    void reload();
    void beginClear();
    void reset();

    Row *newRow(SubsBase *object, Row *parent, int number);
    void releaseRow(Row *row);
    // Appends the video and its candidates to the rows.
    void adopt(VideoFile *video);
    void removeCandidate(Subtitle *subtitle);
    void insertPendingCandidates();
    QModelIndex indexForRow(Row *row) const;
    Row *rowForIndex(const QModelIndex &index) const;

    // Reads the next slice of sort keys, then hands them to the sorting thread.
    void readSortKeys();
    void sortFinished(quint64 generation);
    void applyArrangement(Arrangement &arrangement);
    static void sortLevel(SortLevel &level);
    void joinSorter();

    static QString displayText(const SubsBase &object);
    // A row's second line, or a candidate's language, service and status, for screen readers.
    static QString accessibleDescription(const SubsBase &object);

    TNModelController &m_catalogue;
    QList<VideoFile *> m_pendingVideos;
    QList<Subtitle *> m_pendingCandidates;
    QTimer m_pendingTimer;
    bool m_grouping = false;
    std::deque<Row> m_rowStore;
    std::vector<Row *> m_freeRows;
    QList<Row *> m_videos;
    QHash<const SubsBase *, Row *> m_rows;

    quint64 m_generation = 0;
    std::unique_ptr<Arrangement> m_arrangement;
    QTimer m_keyReader;
    std::thread m_sorter;
};
