#pragma once

#include <QStyledItemDelegate>

// Table cells whose text, and the editor that edits it, sit in the vertical middle of a row
// that is taller than the text.
class VerticallyCenteredTextFieldCell final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The bounds cut down to the content's height and moved down by half of what was cut; the
    // bounds as they are when the content is not the lower.
    static QRect drawingRectForBounds(const QRect &bounds, int contentHeight);

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
