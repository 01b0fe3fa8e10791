#include "app/preferences/ImageViewDragDrop.h"
#include "app/preferences/ImageViewDragDropDelegate.h"

#include "common/TestSupport.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>

#include <gtest/gtest.h>

namespace {

struct RecordingDelegate : ImageViewDragDropDelegate
{
    bool isDraggedAllowed(const QString &dragged, ImageViewDragDrop *) override
    {
        asked.append(dragged);
        return allow;
    }
    bool droppedLanguage(const QString &dropped, ImageViewDragDrop *) override
    {
        dropped_.append(dropped);
        return take;
    }
    bool draggedOutOfFrame(ImageViewDragDrop *) override
    {
        ++draggedOut;
        return emptied;
    }

    bool allow = true;
    bool take = true;
    bool emptied = true;
    QStringList asked;
    QStringList dropped_;
    int draggedOut = 0;
};

QMimeData *textData(const QString &text)
{
    auto *data = new QMimeData;
    data->setText(text);
    return data;
}

bool poofShown()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget *window) {
        return window->objectName() == QLatin1String("poof") && window->isVisible();
    });
}

class DropSlotTest : public ::testing::Test
{
protected:
    DropSlotTest()
    {
        QPixmap flag(16, 11);
        flag.fill(Qt::red);
        slot.setPixmap(flag);
        slot.resize(48, 48);
        slot.show();
    }

    // What the slot answers to a drag entering it, and whether it took the drop.
    std::pair<Qt::DropAction, bool> dragOnto(const QMimeData &data)
    {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&slot, &enter);
        const Qt::DropAction entered = enter.isAccepted() ? enter.dropAction() : Qt::IgnoreAction;
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(&slot, &drop);
        return {entered, drop.isAccepted()};
    }

    RecordingDelegate delegate;
    ImageViewDragDrop slot;
};

TEST_F(DropSlotTest, WithoutDelegateEveryDragIsRefused)
{
    const std::unique_ptr<QMimeData> data(textData(QStringLiteral("de")));
    EXPECT_EQ(dragOnto(*data), std::make_pair(Qt::IgnoreAction, false));
}

TEST_F(DropSlotTest, TheDelegateDecidesWhetherTextIsCopiedAndTaken)
{
    slot.setDelegate(&delegate);
    const std::unique_ptr<QMimeData> data(textData(QStringLiteral("de")));
    EXPECT_EQ(dragOnto(*data), std::make_pair(Qt::CopyAction, true));
    EXPECT_EQ(delegate.dropped_, QStringList{QStringLiteral("de")});

    delegate.allow = false;
    delegate.take = false;
    EXPECT_EQ(dragOnto(*data), std::make_pair(Qt::IgnoreAction, false));
    EXPECT_EQ(delegate.asked.last(), QStringLiteral("de"));
}

TEST_F(DropSlotTest, DragsWithoutTextAreNotOffered)
{
    slot.setDelegate(&delegate);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/movie.avi"))});
    EXPECT_EQ(dragOnto(files), std::make_pair(Qt::IgnoreAction, false));
    EXPECT_TRUE(delegate.asked.isEmpty());
    EXPECT_TRUE(delegate.dropped_.isEmpty());
}

TEST_F(DropSlotTest, ADragEndingInsideItsSlotChangesNothing)
{
    slot.setDelegate(&delegate);
    slot.draggedImage(slot.mapToGlobal(QPoint(10, 10)));
    EXPECT_EQ(delegate.draggedOut, 0);
    EXPECT_FALSE(poofShown());
}

TEST_F(DropSlotTest, ADragEndingOutsideAsksTheDelegateAndPuffsOnlyWhenEmptied)
{
    slot.setDelegate(&delegate);
    delegate.emptied = false;
    slot.draggedImage(slot.mapToGlobal(QPoint(200, 200)));
    EXPECT_EQ(delegate.draggedOut, 1);
    EXPECT_FALSE(poofShown());

    delegate.emptied = true;
    slot.draggedImage(slot.mapToGlobal(QPoint(-5, 10)));
    EXPECT_EQ(delegate.draggedOut, 2);
    EXPECT_TRUE(poofShown());
    EXPECT_TRUE(TestSupport::waitUntil([] { return !poofShown(); }));
}

} // namespace
