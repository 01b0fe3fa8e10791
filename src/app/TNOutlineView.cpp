#include "app/TNOutlineView.h"

#include "catalogue/VideoExtensions.h"
#include "platform/Logging.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>

#include <algorithm>

TNOutlineView::TNOutlineView(QWidget *parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setUniformRowHeights(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &TNOutlineView::showContextMenu);
}

bool TNOutlineView::acceptsPaths(const QStringList &paths)
{
    return std::any_of(paths.begin(), paths.end(), [](const QString &path) {
        return VideoExtensions::isVideoFile(path) || QFileInfo(path).isDir();
    });
}

QStringList TNOutlineView::localPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data)
        return paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

void TNOutlineView::dragEnterEvent(QDragEnterEvent *event)
{
    const QStringList paths = localPaths(event->mimeData());
    qCInfo(lcApp) << "Files:" << paths;
    if (acceptsPaths(paths))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TNOutlineView::dragMoveEvent(QDragMoveEvent *event)
{
    if (acceptsPaths(localPaths(event->mimeData())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TNOutlineView::dropEvent(QDropEvent *event)
{
    qCInfo(lcApp, "Accept Drop");
    const QStringList paths = localPaths(event->mimeData());
    if (!m_tnDelegate || paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_tnDelegate->filesDropped(paths);
}

void TNOutlineView::showContextMenu(const QPoint &position)
{
    if (!m_tnDelegate)
        return;
    if (QMenu *menu = m_tnDelegate->contextMenu())
        menu->popup(viewport()->mapToGlobal(position));
}
