#include "app/preferences/VerticallyCenteredTextFieldCell.h"

#include <QStandardItemModel>
#include <QTableView>

#include <gtest/gtest.h>

namespace {

TEST(VerticallyCenteredTextFieldCell, TheEditorSitsInTheMiddleOfATallRow)
{
    QStandardItemModel model(1, 1);
    model.setItem(0, 0, new QStandardItem(QStringLiteral("alice")));
    QTableView view;
    view.setItemDelegate(new VerticallyCenteredTextFieldCell(&view));
    view.setModel(&model);
    view.setRowHeight(0, 80);
    const QModelIndex cell = model.index(0, 0);
    view.openPersistentEditor(cell);
    const QWidget *editor = view.indexWidget(cell);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->height(), editor->sizeHint().height());
    EXPECT_NEAR(editor->geometry().center().y(), view.visualRect(cell).center().y(), 1);

    // Content taller than its room is drawn where it stands, never shifted up.
    using Cell = VerticallyCenteredTextFieldCell;
    EXPECT_EQ(Cell::drawingRectForBounds(QRect(0, 0, 100, 10), 20), QRect(0, 0, 100, 10));
    EXPECT_EQ(Cell::drawingRectForBounds(QRect(0, 10, 100, 60), 21), QRect(0, 29, 100, 21));
}

} // namespace
