#include "ControllerFixture.h"

#include "app/list/CatalogueTreeModel.h"
#include "app/list/TNOutlineView.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"

#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

namespace {

// The list in the main window, driven by the real controller.
class OutlineViewControllerTest : public ControllerFixture
{
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    TNOutlineView &list() const { return *window.outlineView(); }

    // Drags the paths onto the list and drops them; true when the list took them.
    bool drop(const QStringList &paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls.append(QUrl::fromLocalFile(path));
        data.setUrls(urls);
        const QPoint inside = list().viewport()->rect().center();
        QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list().viewport(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list().viewport(), &dropped);
        return dropped.isAccepted();
    }
};

TEST_F(OutlineViewControllerTest, ADroppedFolderIsImportedAndATextFileIsRefused)
{
    EXPECT_FALSE(drop({touch(QStringLiteral("notes.txt"))}));
    EXPECT_EQ(list().model()->rowCount(), 0);

    touch(QStringLiteral("films/Inception.2010.1080p.BluRay.x264.mkv"));
    touch(QStringLiteral("films/Heat.1995.DVDRip.XviD.avi"));
    ASSERT_TRUE(drop({root.filePath(QStringLiteral("films"))}));
    ASSERT_TRUE(waitForBatchEnd());
    EXPECT_EQ(list().model()->rowCount(), 2);
    EXPECT_EQ(controller.totalVideoFiles(), 2);
}

TEST_F(OutlineViewControllerTest, APhaseEndOpensTheVideosWithCandidatesAndLaterOnesOpenOnArrival)
{
    TNModelController &catalogue = controller.modelController();
    VideoFile *bare = catalogue.insertVideoFile(QStringLiteral("/v/b.avi"));
    VideoFile *found = catalogue.insertVideoFile(QStringLiteral("/v/a.avi"));
    bare->setName(QStringLiteral("b"));
    found->setName(QStringLiteral("a"));
    catalogue.insertSubtitle()->setParent(found);
    record().setLastAction(TNLastActionResult::DownloadAction);
    QSignalSpy rearranged(&controller.treeController(), &CatalogueTreeModel::rearranged);
    controller.operationsEnded();
    const CatalogueTreeModel &model = controller.treeController();
    EXPECT_TRUE(list().isExpanded(model.indexForObject(found)));
    EXPECT_FALSE(list().isExpanded(model.indexForObject(bare)));

    ASSERT_TRUE(rearranged.wait());
    EXPECT_EQ(model.indexForObject(found).row(), 0);
    EXPECT_TRUE(list().isExpanded(model.indexForObject(found))) << "the sort keeps it open";
    list().collapse(model.indexForObject(found));
    catalogue.insertSubtitle()->setParent(bare);
    catalogue.insertSubtitle()->setParent(found);
    controller.treeController().insertPendingRows();
    EXPECT_TRUE(list().isExpanded(model.indexForObject(bare)));
    EXPECT_FALSE(list().isExpanded(model.indexForObject(found))) << "closed by the user";
}

TEST_F(OutlineViewControllerTest, ReleasingOnACandidateRowSelectsItThenClearsIt)
{
    TNModelController &catalogue = controller.modelController();
    VideoFile *video = catalogue.insertVideoFile(root.filePath(QStringLiteral("Heat.1995.avi")));
    Subtitle *subtitle = catalogue.insertSubtitle();
    subtitle->setFileName(QStringLiteral("Heat.1995.srt"));
    subtitle->setLanguage(QStringLiteral("en"));
    subtitle->setStatus(SubtitleStatusNotSelected);
    subtitle->setParent(video);
    list().expandAll();

    const QPoint row =
        list().visualRect(controller.treeController().indexForObject(subtitle)).center();
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, row);
    EXPECT_EQ(subtitle->status(), SubtitleStatusSelected);
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, row);
    EXPECT_EQ(subtitle->status(), SubtitleStatusNotSelected);
}

} // namespace
