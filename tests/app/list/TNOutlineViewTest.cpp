#include "app/list/TNOutlineView.h"
#include "app/list/CatalogueTreeModel.h"
#include "catalogue/TNModelController.h"
#include "common/TestSupport.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

namespace {

class RecordingDelegate final : public TNOutlineViewDelegate
{
public:
    void checkedButtonForItem(Subtitle *subtitle) override { checked.append(subtitle); }
    void filesDropped(const QStringList &paths) override { dropped.append(paths); }
    QMenu *contextMenu() override { return &menu; }

    QList<Subtitle *> checked;
    QList<QStringList> dropped;
    QMenu menu;
};

QMimeData *urls(const QList<QUrl> &list)
{
    auto *data = new QMimeData;
    data->setUrls(list);
    return data;
}

// A shown list with two videos; the first has two candidates and is expanded.
class OutlineViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        show = catalogue.insertVideoFile(QStringLiteral("/media/tv/the.office.s02e05.avi"));
        show->setName(QStringLiteral("the office"));
        show->setSeason(2);
        show->setEpisode(5);
        english = addSubtitle(QStringLiteral("en"), QStringLiteral("The.Office.S02E05.srt"));
        french = addSubtitle(QStringLiteral("fr"), QStringLiteral("The.Office.S02E05.fr.srt"));
        film = catalogue.insertVideoFile(QStringLiteral("/media/films/Inception.2010.mkv"));
        view.setModel(&model);
        view.setTnDelegate(&delegate);
        view.customCell()->setUrlOpener([this](const QUrl &url) {
            opened.append(url);
            return true;
        });
        view.resize(500, 300);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.expand(model.indexForObject(show));
    }

    Subtitle *addSubtitle(const QString &language, const QString &fileName)
    {
        Subtitle *subtitle = catalogue.insertSubtitle();
        subtitle->setLanguage(language);
        subtitle->setFileName(fileName);
        subtitle->setService(QStringLiteral("opensubtitles.org"));
        subtitle->setParent(show);
        return subtitle;
    }

    QRect rowOf(const SubsBase *object) const
    {
        return view.visualRect(model.indexForObject(object));
    }

    QWidget *viewport() const { return view.viewport(); }

    TNModelController catalogue;
    CatalogueTreeModel model{catalogue};
    TNOutlineView view;
    RecordingDelegate delegate;
    QList<QUrl> opened;
    VideoFile *show = nullptr;
    VideoFile *film = nullptr;
    Subtitle *english = nullptr;
    Subtitle *french = nullptr;
};

TEST_F(OutlineViewTest, RowsSpanTheWidthAtTheirHeights)
{
    const QRect video = rowOf(show);
    const QRect candidate = rowOf(english);
    EXPECT_EQ(video.height(), TNCell::VideoRowHeight);
    EXPECT_EQ(candidate.height(), TNCell::SubtitleRowHeight);
    EXPECT_EQ(candidate.left(), 0) << "candidates are not indented";
    EXPECT_EQ(candidate.width(), viewport()->width());
    EXPECT_EQ(video.width(), viewport()->width());
}

TEST_F(OutlineViewTest, ACandidateTogglesOnlyWhenReleasedInsideItsRow)
{
    const QRect row = rowOf(english);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_EQ(delegate.checked, QList<Subtitle *>({english}));
    EXPECT_TRUE(view.selectionModel()->selectedIndexes().isEmpty())
        << "candidate rows never become selected";

    // Out of the row and released there: nothing.
    const QModelIndex index = model.indexForObject(english);
    QTest::mousePress(viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_TRUE(view.customCell()->isPressed(index));
    EXPECT_FALSE(view.customCell()->isPressed(model.indexForObject(french)));
    QTest::mouseMove(viewport(), rowOf(film).center());
    EXPECT_FALSE(view.customCell()->isPressed(index));
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, rowOf(film).center());
    EXPECT_EQ(delegate.checked.size(), 1);
    EXPECT_FALSE(view.customCell()->isTracking());

    // Out and back in again: one more.
    QTest::mousePress(viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseMove(viewport(), rowOf(french).center());
    QTest::mouseMove(viewport(), row.topLeft() + QPoint(300, 3));
    EXPECT_TRUE(view.customCell()->isPressed(index));
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, row.topLeft() + QPoint(300, 3));
    EXPECT_EQ(delegate.checked, QList<Subtitle *>({english, english}));
}

TEST_F(OutlineViewTest, APressWhoseReleaseWentElsewhereEnds)
{
    const QPoint inside = rowOf(english).center();
    QTest::mousePress(viewport(), Qt::LeftButton, {}, inside);
    QMouseEvent move(QEvent::MouseMove, inside, viewport()->mapToGlobal(inside), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport(), &move);
    EXPECT_FALSE(view.customCell()->isTracking());
    EXPECT_TRUE(delegate.checked.isEmpty());
    QTest::mouseMove(viewport(), TNCell::rectForReveal(rowOf(film)).center());
    EXPECT_EQ(view.customCell()->mouseHover(model.indexForObject(film)), TNCell::HoverReveal);
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, inside);
    EXPECT_TRUE(delegate.checked.isEmpty());
}

TEST_F(OutlineViewTest, APressOnACandidateThatGoesAwayReportsNothing)
{
    QTest::mousePress(viewport(), Qt::LeftButton, {}, rowOf(english).center());
    const QPoint where = rowOf(english).center();
    catalogue.removeAll();
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, where);
    EXPECT_TRUE(delegate.checked.isEmpty());
    EXPECT_FALSE(view.customCell()->isTracking());
}

TEST_F(OutlineViewTest, TheVideoIconsActAndOtherClicksSelect)
{
    const QRect row = rowOf(film);
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, TNCell::rectForReveal(row).center());
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, TNCell::rectForPlay(row).center());
    EXPECT_EQ(
        opened,
        QList<QUrl>({QUrl::fromLocalFile(QStringLiteral("/media/films")),
                     QUrl::fromLocalFile(QStringLiteral("/media/films/Inception.2010.mkv"))}));
    EXPECT_TRUE(view.selectionModel()->selectedIndexes().isEmpty());

    QTest::mouseClick(viewport(), Qt::LeftButton, {}, row.topLeft() + QPoint(40, 10));
    EXPECT_EQ(view.selectionModel()->selectedIndexes(),
              QModelIndexList({model.indexForObject(film)}));
    EXPECT_EQ(opened.size(), 2);
    EXPECT_TRUE(delegate.checked.isEmpty());
}

TEST_F(OutlineViewTest, DoubleClickAndTheTriangleOpenAndCloseAVideo)
{
    const QModelIndex index = model.indexForObject(show);
    const QPoint text = rowOf(show).topLeft() + QPoint(40, 10);
    ASSERT_TRUE(view.isExpanded(index));
    QTest::mouseDClick(viewport(), Qt::LeftButton, {}, text);
    EXPECT_FALSE(view.isExpanded(index));
    QTest::mouseDClick(viewport(), Qt::LeftButton, {}, text);
    EXPECT_TRUE(view.isExpanded(index));

    QTest::mouseClick(viewport(), Qt::LeftButton, {},
                      TNCell::rectForDisclosure(rowOf(show)).center());
    EXPECT_FALSE(view.isExpanded(index));
    EXPECT_TRUE(opened.isEmpty());
}

TEST_F(OutlineViewTest, HoverBelongsToOneIconOfOneRow)
{
    TNCell &cell = *view.customCell();
    const QModelIndex showIndex = model.indexForObject(show);
    const QModelIndex filmIndex = model.indexForObject(film);
    QTest::mouseMove(viewport(), TNCell::rectForReveal(rowOf(show)).center());
    EXPECT_EQ(cell.mouseHover(showIndex), TNCell::HoverReveal);
    EXPECT_EQ(cell.mouseHover(filmIndex), TNCell::HoverNone);
    EXPECT_EQ(viewport()->cursor().shape(), Qt::PointingHandCursor);

    QTest::mouseMove(viewport(), TNCell::rectForPlay(rowOf(film)).center());
    EXPECT_EQ(cell.mouseHover(showIndex), TNCell::HoverNone);
    EXPECT_EQ(cell.mouseHover(filmIndex), TNCell::HoverOpen);

    QTest::mouseMove(viewport(), rowOf(film).topLeft() + QPoint(40, 10));
    EXPECT_EQ(cell.mouseHover(filmIndex), TNCell::HoverNone);
    EXPECT_EQ(viewport()->cursor().shape(), Qt::ArrowCursor);

    QTest::mouseMove(viewport(), TNCell::rectForReveal(rowOf(film)).center());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(viewport(), &leave);
    EXPECT_EQ(cell.mouseHover(filmIndex), TNCell::HoverNone);
    EXPECT_EQ(viewport()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(OutlineViewTest, HoverFollowsRowsThatMoveUnderTheMouse)
{
    TNCell &cell = *view.customCell();
    const QPoint revealOfFilm = TNCell::rectForReveal(rowOf(film)).center();
    QTest::mouseMove(viewport(), revealOfFilm);
    ASSERT_TRUE(viewport()->underMouse());
    ASSERT_EQ(cell.mouseHover(model.indexForObject(film)), TNCell::HoverReveal);

    // The film moves up under the mouse, which is now over a candidate.
    view.collapse(model.indexForObject(show));
    QCoreApplication::processEvents();
    EXPECT_EQ(cell.mouseHover(model.indexForObject(film)), TNCell::HoverNone);
    EXPECT_EQ(viewport()->cursor().shape(), Qt::ArrowCursor);

    view.expand(model.indexForObject(show));
    QCoreApplication::processEvents();
    EXPECT_EQ(cell.mouseHover(model.indexForObject(film)), TNCell::HoverReveal);

    catalogue.removeAll();
    QCoreApplication::processEvents();
    EXPECT_FALSE(cell.hoverIndex().isValid());
    EXPECT_EQ(viewport()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(OutlineViewTest, AScreenReaderHearsEachRowsTwoLinesAndTheCandidatesStatus)
{
    french->setStatus(SubtitleStatusDailyLimit);
    QAccessibleTableInterface *rows =
        QAccessible::queryAccessibleInterface(&view)->tableInterface();
    ASSERT_NE(rows, nullptr);
    const auto row = [&](int visualRow) {
        QAccessibleInterface *cell = rows->cellAt(visualRow, 0);
        return QStringList{cell->text(QAccessible::Name), cell->text(QAccessible::Description)};
    };
    EXPECT_EQ(row(0),
              QStringList({"the.office.s02e05.avi", "TV Show: The Office. Season 2 Episode 5"}));
    EXPECT_EQ(row(1), QStringList({"The.Office.S02E05.srt",
                                   "English, opensubtitles.org. Subtitle Not selected"}));
    EXPECT_EQ(row(2).at(1), "Français, opensubtitles.org. Could not download Subtitle because you "
                            "have reached the server's daily download limit");
}

TEST_F(OutlineViewTest, SpaceTogglesTheCandidateTheKeyboardIsOn)
{
    view.setFocus();
    view.setCurrentIndex(model.indexForObject(show));
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_TRUE(delegate.checked.isEmpty()) << "a video row has nothing to toggle";
    QTest::keyClick(&view, Qt::Key_Down);
    ASSERT_EQ(view.currentIndex(), model.indexForObject(english));
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(delegate.checked, QList<Subtitle *>({english}));
}

TEST_F(OutlineViewTest, ToolTipsNameTheFileAndItsStatus)
{
    EXPECT_EQ(TNOutlineView::toolTip(*film), QStringLiteral("/media/films/Inception.2010.mkv"));

    english->setName(QStringLiteral("The Office"));
    EXPECT_EQ(TNOutlineView::toolTip(*english), QStringLiteral("The Office"));
    english->setReleaseInfo(QStringLiteral("HDTV.XviD"));
    EXPECT_EQ(TNOutlineView::toolTip(*english), QStringLiteral("The Office\nHDTV.XviD"));

    const QString file = QStringLiteral("The.Office.S02E05.srt\n\n");
    const QList<std::pair<qint32, QString>> statuses{
        {0, "Subtitle Not selected"},
        {1, "Login error: check the account in Preferences"},
        {2, "Subtitle downloaded successfully"},
        {3, "Could not download Subtitle because\nyou have reached the server's daily download "
            "limit"},
        {4, "Selected to download from opensubtitles.org"},
        {5, "Could not copy Subtitle file to local hard drive"},
        {7, "Could not download Subtitle from server"},
    };
    for (const auto &[status, text] : statuses) {
        english->setStatus(status);
        EXPECT_EQ(TNOutlineView::toolTip(*english), file + text) << status;
    }

    english->setStatus(SubtitleStatusSelected);
    const QPoint at = rowOf(english).center();
    QHelpEvent help(QEvent::ToolTip, at, viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(viewport(), &help);
    EXPECT_EQ(QToolTip::text(), file + "Selected to download from opensubtitles.org");
    QToolTip::hideText();
}

TEST_F(OutlineViewTest, TheContextMenuComesFromTheDelegate)
{
    const QPoint at = rowOf(film).center();
    view.setTnDelegate(nullptr);
    QContextMenuEvent withoutDelegate(QContextMenuEvent::Mouse, at, viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(viewport(), &withoutDelegate);
    EXPECT_FALSE(delegate.menu.isVisible());

    view.setTnDelegate(&delegate);
    QContextMenuEvent withDelegate(QContextMenuEvent::Mouse, at, viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(viewport(), &withDelegate);
    EXPECT_TRUE(delegate.menu.isVisible());
    delegate.menu.hide();
}

TEST(OutlineViewDropTest, TakesVideosFoldersAndLinks)
{
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("notes.txt"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(text, link));
    const QString dangling = dir.filePath(QStringLiteral("dangling"));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), dangling));

    EXPECT_TRUE(TNOutlineView::acceptsPaths({text, dir.path()}));
    EXPECT_TRUE(TNOutlineView::acceptsPaths({QStringLiteral("/x/MOVIE.AVI")}));
    EXPECT_TRUE(TNOutlineView::acceptsPaths({text, link}));
    EXPECT_FALSE(TNOutlineView::acceptsPaths({text, dangling}));
    EXPECT_FALSE(TNOutlineView::acceptsPaths({text, dir.filePath(QStringLiteral("missing"))}));
    EXPECT_FALSE(TNOutlineView::acceptsPaths({}));
}

TEST(OutlineViewDropTest, ADropHandsOverEveryLocalPath)
{
    QTemporaryDir dir;
    TNOutlineView view;
    RecordingDelegate delegate;
    view.resize(200, 200);
    view.show();
    const QPoint inside(50, 50);
    const auto dragEnter = [&](const QMimeData *data) {
        QDragEnterEvent enter(inside, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &enter);
        return enter.isAccepted();
    };
    const auto drop = [&](const QMimeData *data) {
        QDropEvent event(inside, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &event);
        return event.isAccepted();
    };

    std::unique_ptr<QMimeData> remote(urls({QUrl(QStringLiteral("https://example.org/a.avi"))}));
    EXPECT_FALSE(dragEnter(remote.get()));
    std::unique_ptr<QMimeData> textOnly(urls({QUrl::fromLocalFile(QStringLiteral("/x/a.txt")),
                                              QUrl::fromLocalFile(QStringLiteral("/x/b.txt"))}));
    EXPECT_FALSE(dragEnter(textOnly.get()));

    std::unique_ptr<QMimeData> local(urls(
        {QUrl::fromLocalFile(dir.path()), QUrl::fromLocalFile(QStringLiteral("/x/notes.txt"))}));
    EXPECT_TRUE(dragEnter(local.get()));
    EXPECT_FALSE(drop(local.get())) << "nobody to hand the files to";

    view.setTnDelegate(&delegate);
    ASSERT_TRUE(dragEnter(local.get()));
    EXPECT_TRUE(drop(local.get()));
    ASSERT_EQ(delegate.dropped.size(), 1);
    EXPECT_EQ(delegate.dropped.at(0), QStringList({dir.path(), QStringLiteral("/x/notes.txt")}));
}

} // namespace
