#include "app/list/TNOutlineView.h"

#include "catalogue/LinkResolution.h"
#include "catalogue/Subtitle.h"
#include "catalogue/VideoExtensions.h"
#include "catalogue/VideoFile.h"
#include "platform/Logging.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QToolTip>

#include <algorithm>

TNOutlineView::TNOutlineView(QWidget *parent) : QTreeView(parent), m_customCell(new TNCell(this))
{
    m_customCell->setTarget(this);
    setItemDelegate(m_customCell);
    setHeaderHidden(true);
    setUniformRowHeights(false);
    setIndentation(0);
    setRootIsDecorated(false);
    setExpandsOnDoubleClick(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    viewport()->setMouseTracking(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &TNOutlineView::showContextMenu);
}

void TNOutlineView::setModel(QAbstractItemModel *model)
{
    QTreeView::setModel(model);
    if (model)
        connect(model, &QAbstractItemModel::rowsInserted, this, &TNOutlineView::openNewParent,
                Qt::UniqueConnection);
    qCInfo(lcApp).noquote() << QStringLiteral("datasource = %1, delegate = %2")
                                   .arg(model ? model->metaObject()->className() : "null",
                                        m_customCell->metaObject()->className());
}

void TNOutlineView::expandParents()
{
    QAbstractItemModel *rows = model();
    if (!rows)
        return;
    // With the layout put off, each expansion is only noted; the rows are laid out once.
    scheduleDelayedItemsLayout();
    for (int row = 0; row < rows->rowCount(); ++row) {
        const QModelIndex video = rows->index(row, 0);
        if (rows->hasChildren(video) && !isExpanded(video))
            expand(video);
    }
}

void TNOutlineView::openNewParent(const QModelIndex &parent, int first)
{
    if (!parent.isValid() || first != 0 || isExpanded(parent))
        return;
    scheduleDelayedItemsLayout();
    expand(parent);
}

bool TNOutlineView::acceptsPaths(const QStringList &paths)
{
    return std::any_of(paths.begin(), paths.end(), [](const QString &path) {
        return VideoExtensions::isVideoFile(path) || QFileInfo(path).isDir() ||
               !LinkResolution::urlByResolvingAlias(path).isEmpty();
    });
}

QString TNOutlineView::toolTip(const SubsBase &object)
{
    const auto *subtitle = dynamic_cast<const Subtitle *>(&object);
    if (!subtitle)
        return object.fileName().value_or(QString());
    if (!subtitle->status()) {
        QString text = subtitle->name().value_or(QString());
        const QString releaseInfo = subtitle->releaseInfo().value_or(QString());
        if (!releaseInfo.isEmpty())
            text += QLatin1Char('\n') + releaseInfo;
        return text;
    }
    const QString status =
        TNCell::statusText(*subtitle->status(), subtitle->service().value_or(QString()));
    if (status.isNull())
        return subtitle->fileName().value_or(QString());
    return QStringLiteral("%1\n\n%2").arg(subtitle->fileName().value_or(QString()), status);
}

void TNOutlineView::keyPressEvent(QKeyEvent *event)
{
    // Space is the keyboard's click on a candidate's row.
    const bool space = event->key() == Qt::Key_Space || event->key() == Qt::Key_Select;
    auto *subtitle = dynamic_cast<Subtitle *>(TNCell::objectForIndex(currentIndex()));
    if (space && event->modifiers() == Qt::NoModifier && subtitle) {
        checkedButtonForItem(subtitle);
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TNOutlineView::checkedButtonForItem(Subtitle *subtitle)
{
    if (m_tnDelegate)
        m_tnDelegate->checkedButtonForItem(subtitle);
}

bool TNOutlineView::routeClick(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return false;
    const QPoint position = event->position().toPoint();
    const QModelIndex index = indexAt(position);
    const SubsBase *object = TNCell::objectForIndex(index);
    if (!object)
        return false;
    const QRect frame = visualRect(index);
    if (m_customCell->handleMouseClick(position, frame, *object))
        return true;
    if (object->isLeaf().value_or(false)) {
        m_customCell->startTracking(index);
        updateRow(index);
        return true;
    }
    if (model()->hasChildren(index) && TNCell::rectForDisclosure(frame).contains(position)) {
        setExpanded(index, !isExpanded(index));
        return true;
    }
    return false;
}

void TNOutlineView::mousePressEvent(QMouseEvent *event)
{
    if (!routeClick(event))
        QTreeView::mousePressEvent(event);
}

void TNOutlineView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click is a press like any other.
    if (routeClick(event))
        return;
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        doubleClickAction(indexAt(event->position().toPoint()));
}

void TNOutlineView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint position = event->position().toPoint();
    if (m_customCell->isTracking()) {
        const QModelIndex tracked = m_customCell->trackedIndex();
        if (!(event->buttons() & Qt::LeftButton)) {
            // The release went elsewhere, to a popup for instance: the press is over.
            m_customCell->stopTracking(false);
            updateRow(tracked);
        } else {
            if (m_customCell->trackMouse(visualRect(tracked).contains(position)))
                updateRow(tracked);
            return;
        }
    }
    updateHover(position);
    QTreeView::mouseMoveEvent(event);
}

void TNOutlineView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_customCell->isTracking()) {
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex tracked = m_customCell->trackedIndex();
    const bool inside = visualRect(tracked).contains(event->position().toPoint());
    m_customCell->stopTracking(inside);
    updateRow(tracked);
}

void TNOutlineView::doubleClickAction(const QModelIndex &index)
{
    if (index.isValid())
        setExpanded(index, !isExpanded(index));
}

bool TNOutlineView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Leave:
        updateHover(QPoint(-1, -1));
        break;
    case QEvent::ToolTip: {
        auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        const SubsBase *object = TNCell::objectForIndex(index);
        const QString text = object ? toolTip(*object) : QString();
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
        }
        return true;
    }
    default:
        break;
    }
    return QTreeView::viewportEvent(event);
}

void TNOutlineView::scrollContentsBy(int dx, int dy)
{
    QTreeView::scrollContentsBy(dx, dy);
    refreshHover();
}

void TNOutlineView::updateGeometries()
{
    QTreeView::updateGeometries();
    refreshHover();
}

void TNOutlineView::refreshHover()
{
    // Rows moved under a mouse that stood still.
    if (viewport()->underMouse())
        updateHover(viewport()->mapFromGlobal(QCursor::pos()));
    else
        updateHover(QPoint(-1, -1));
}

void TNOutlineView::updateHover(const QPoint &position)
{
    const QModelIndex index = indexAt(position);
    const SubsBase *object = TNCell::objectForIndex(index);
    const TNCell::Hover hover =
        object ? TNCell::iconAt(position, visualRect(index), *object) : TNCell::HoverNone;
    const QModelIndex previous = m_customCell->hoverIndex();
    if (!m_customCell->setMouseHover(index, hover))
        return;
    updateRow(previous);
    updateRow(index);
    if (hover == TNCell::HoverNone)
        viewport()->unsetCursor();
    else
        viewport()->setCursor(Qt::PointingHandCursor);
}

void TNOutlineView::updateRow(const QModelIndex &index)
{
    if (index.isValid())
        viewport()->update(visualRect(index));
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
    if (!paths.isEmpty())
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
    qCInfo(lcApp, "%s", "");
    if (!m_tnDelegate)
        return;
    if (QMenu *menu = m_tnDelegate->contextMenu())
        menu->popup(viewport()->mapToGlobal(position));
}
