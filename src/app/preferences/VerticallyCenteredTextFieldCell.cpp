#include "app/preferences/VerticallyCenteredTextFieldCell.h"

#include <QWidget>

QRect VerticallyCenteredTextFieldCell::drawingRectForBounds(const QRect &bounds, int contentHeight)
{
    const int spare = bounds.height() - contentHeight;
    if (spare <= 0)
        return bounds;
    return bounds.adjusted(0, spare / 2, 0, -(spare - spare / 2));
}

void VerticallyCenteredTextFieldCell::updateEditorGeometry(QWidget *editor,
                                                           const QStyleOptionViewItem &option,
                                                           const QModelIndex &index) const
{
    QStyledItemDelegate::updateEditorGeometry(editor, option, index);
    editor->setGeometry(drawingRectForBounds(editor->geometry(), editor->sizeHint().height()));
}

void VerticallyCenteredTextFieldCell::initStyleOption(QStyleOptionViewItem *option,
                                                      const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // Whatever the model asks of the vertical placement, the text sits in the middle.
    option->displayAlignment =
        (option->displayAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
}
