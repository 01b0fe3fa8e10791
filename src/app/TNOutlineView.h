#pragma once

#include <QTreeView>

class QMenu;

// What the results list asks of its owner.
class TNOutlineViewDelegate
{
public:
    virtual ~TNOutlineViewDelegate() = default;
    virtual void filesDropped(const QStringList &paths) = 0;
    virtual QMenu *contextMenu() = 0;
};

// The results list: videos with their subtitle candidates below them. It takes drops
// of video files and folders and shows its owner's context menu.
class TNOutlineView : public QTreeView
{
    Q_OBJECT

public:
    explicit TNOutlineView(QWidget *parent = nullptr);

    void setTnDelegate(TNOutlineViewDelegate *delegate) { m_tnDelegate = delegate; }

    // True when at least one path is a video file or an existing folder.
    static bool acceptsPaths(const QStringList &paths);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    static QStringList localPaths(const QMimeData *data);
    void showContextMenu(const QPoint &position);

    TNOutlineViewDelegate *m_tnDelegate = nullptr;
};
