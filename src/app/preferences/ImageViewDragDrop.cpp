#include "app/preferences/ImageViewDragDrop.h"

#include "app/preferences/ImageViewDragDropDelegate.h"

#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>

namespace {

// The puff of smoke that tells a language left its slot: its flag fades out where the
// mouse let go of it.
void showPoof(const QPixmap &image)
{
    auto *poof = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    poof->setObjectName(QStringLiteral("poof"));
    poof->setAttribute(Qt::WA_DeleteOnClose);
    poof->setAttribute(Qt::WA_TransparentForMouseEvents);
    poof->setPixmap(image);
    poof->adjustSize();
    poof->move(QCursor::pos() - poof->rect().center());
    poof->show();
    auto *fade = new QPropertyAnimation(poof, "windowOpacity", poof);
    fade->setDuration(300);
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    QObject::connect(fade, &QPropertyAnimation::finished, poof, &QWidget::close);
    fade->start();
}

// Only plain text counts: QMimeData would also offer file URLs as text.
bool hasPlainText(const QMimeData *data)
{
    return data && data->hasFormat(QStringLiteral("text/plain"));
}

} // namespace

ImageViewDragDrop::ImageViewDragDrop(QWidget *parent) : QLabel(parent)
{
    setAcceptDrops(true);
    setAlignment(Qt::AlignCenter);
    setFocusPolicy(Qt::StrongFocus);
}

bool ImageViewDragDrop::isAllowed(const QMimeData *data)
{
    return m_delegate && hasPlainText(data) && m_delegate->isDraggedAllowed(data->text(), this);
}

void ImageViewDragDrop::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void ImageViewDragDrop::dragMoveEvent(QDragMoveEvent *event)
{
    if (!isAllowed(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ImageViewDragDrop::dropEvent(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!m_delegate || !hasPlainText(data) || !m_delegate->droppedLanguage(data->text(), this)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void ImageViewDragDrop::mousePressEvent(QMouseEvent *event)
{
    if (pixmap().isNull() || event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    // The payload is empty on purpose: no slot takes it, so the language can only leave.
    auto *data = new QMimeData;
    data->setText(QString());
    QDrag drag(this);
    drag.setMimeData(data);
    drag.setPixmap(pixmap());
    drag.setHotSpot(QPoint(21, 7));
    drag.exec(Qt::MoveAction | Qt::CopyAction);
    draggedImage(QCursor::pos());
}

void ImageViewDragDrop::draggedImage(const QPoint &endedAt)
{
    if (rect().contains(mapFromGlobal(endedAt)))
        return;
    const QPixmap image = pixmap();
    if (m_delegate && m_delegate->draggedOutOfFrame(this))
        showPoof(image);
}

void ImageViewDragDrop::keyPressEvent(QKeyEvent *event)
{
    const bool remove = event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace;
    if (!remove || (pixmap().isNull() && text().isEmpty())) {
        QLabel::keyPressEvent(event);
        return;
    }
    // The same rule as dragging the flag away, without the puff: the mouse is elsewhere.
    if (m_delegate)
        m_delegate->draggedOutOfFrame(this);
}

void ImageViewDragDrop::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // A frame in the selection colour: the style's own focus mark is too faint on a flag.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 3, 3);
}
