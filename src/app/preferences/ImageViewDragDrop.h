#pragma once

#include <QLabel>

class ImageViewDragDropDelegate;
class QMimeData;

// A flag that stands for one preferred language: language codes dragged onto it as plain text
// fill it, and dragging its flag away, or Delete while it has the focus, empties it. The
// delegate decides both; without one, everything is refused.
class ImageViewDragDrop final : public QLabel
{
    Q_OBJECT

public:
    explicit ImageViewDragDrop(QWidget *parent = nullptr);

    ImageViewDragDropDelegate *delegate() const { return m_delegate; }
    // Not owned: the delegate outlives the slot.
    void setDelegate(ImageViewDragDropDelegate *delegate) { m_delegate = delegate; }

    // Where a drag out of the slot ended, in screen coordinates.
    void draggedImage(const QPoint &endedAt);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool isAllowed(const QMimeData *data);

    ImageViewDragDropDelegate *m_delegate = nullptr;
};
