#pragma once

#include "app/list/TNCell.h"

#include <QTreeView>

class QMenu;
class SubsBase;
class Subtitle;

// What the results list asks of its owner.
class TNOutlineViewDelegate
{
public:
    virtual ~TNOutlineViewDelegate() = default;
    // A press on the candidate's row was released inside it.
    virtual void checkedButtonForItem(Subtitle *subtitle) = 0;
    virtual void filesDropped(const QStringList &paths) = 0;
    virtual QMenu *contextMenu() = 0;
};

// The results list: videos with their subtitle candidates below them, every row drawn by
// one TNCell. A click released on a candidate's row toggles it, a double click opens or
// closes a video, and the list takes drops of video files and folders.
class TNOutlineView : public QTreeView, public TNCustomCellDelegate
{
    Q_OBJECT

public:
    explicit TNOutlineView(QWidget *parent = nullptr);

    void setTnDelegate(TNOutlineViewDelegate *delegate) { m_tnDelegate = delegate; }
    TNCell *customCell() const { return m_customCell; }

    void setModel(QAbstractItemModel *model) override;
    // Opens every video that has candidates. A video also opens when its first candidates
    // arrive, so the list looks fully opened without holding a state for every row.
    void expandParents();

    // True when at least one path is a video file, an existing folder or a link to
    // something that exists.
    static bool acceptsPaths(const QStringList &paths);
    // The row's tool tip.
    static QString toolTip(const SubsBase &object);

    void checkedButtonForItem(Subtitle *subtitle) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    // Rows moved: scrolling, resizing, expanding or a changed model.
    void updateGeometries() override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Hands a press to the row's cell; true when the cell took it.
    bool routeClick(QMouseEvent *event);
    void doubleClickAction(const QModelIndex &index);
    void updateHover(const QPoint &position);
    void refreshHover();
    void updateRow(const QModelIndex &index);
    static QStringList localPaths(const QMimeData *data);
    void showContextMenu(const QPoint &position);
    void openNewParent(const QModelIndex &parent, int first);

    TNCell *m_customCell;
    TNOutlineViewDelegate *m_tnDelegate = nullptr;
};
