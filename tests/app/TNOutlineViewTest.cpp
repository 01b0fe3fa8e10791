#include "app/TNOutlineView.h"
#include "app/TNOpenPanel.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class RecordingDelegate final : public TNOutlineViewDelegate
{
public:
    void filesDropped(const QStringList &paths) override { dropped.append(paths); }
    QMenu *contextMenu() override { return &menu; }

    QList<QStringList> dropped;
    QMenu menu;
};

QMimeData *urls(const QList<QUrl> &list)
{
    auto *data = new QMimeData;
    data->setUrls(list);
    return data;
}

TEST(OutlineViewTest, TakesVideosAndFoldersOnly)
{
    QTemporaryDir dir;
    EXPECT_TRUE(TNOutlineView::acceptsPaths({QStringLiteral("/x/notes.txt"), dir.path()}));
    EXPECT_TRUE(TNOutlineView::acceptsPaths({QStringLiteral("/x/MOVIE.AVI")}));
    EXPECT_FALSE(TNOutlineView::acceptsPaths(
        {QStringLiteral("/x/notes.txt"), dir.filePath(QStringLiteral("missing"))}));
    EXPECT_FALSE(TNOutlineView::acceptsPaths({}));
}

TEST(OutlineViewTest, ADropHandsOverEveryLocalPath)
{
    TNOutlineView view;
    RecordingDelegate delegate;
    view.resize(200, 200);
    view.show();
    const QPoint inside(50, 50);

    std::unique_ptr<QMimeData> remote(urls({QUrl(QStringLiteral("https://example.org/a.avi"))}));
    QDragEnterEvent refused(inside, Qt::CopyAction, remote.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &refused);
    EXPECT_FALSE(refused.isAccepted());

    std::unique_ptr<QMimeData> local(urls({QUrl::fromLocalFile(QStringLiteral("/x/Film.2001.mkv")),
                                           QUrl::fromLocalFile(QStringLiteral("/x/notes.txt"))}));
    QDragEnterEvent enter(inside, Qt::CopyAction, local.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());

    // Each drop follows its own drag entering the list.
    QDropEvent withoutDelegate(inside, Qt::CopyAction, local.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &withoutDelegate);
    EXPECT_FALSE(withoutDelegate.isAccepted());

    view.setTnDelegate(&delegate);
    QDragEnterEvent again(inside, Qt::CopyAction, local.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &again);
    QDropEvent drop(inside, Qt::CopyAction, local.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.viewport(), &drop);
    ASSERT_EQ(delegate.dropped.size(), 1);
    EXPECT_EQ(delegate.dropped.at(0),
              QStringList({QStringLiteral("/x/Film.2001.mkv"), QStringLiteral("/x/notes.txt")}));
}

TEST(OpenPanelTest, ChoosesFilesAndFoldersTogether)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("Season 1"));
    QFile video(dir.filePath(QStringLiteral("Film.2001.MKV")));
    ASSERT_TRUE(video.open(QIODevice::WriteOnly));
    video.close();

    EXPECT_TRUE(TNOpenPanel::nameFilter().contains(QLatin1String("*.mkv")));
    EXPECT_TRUE(TNOpenPanel::nameFilter().contains(QLatin1String("*.mp4v")));

    TNOpenPanel panel;
    panel.setDirectory(dir.path());
    panel.selectFile(QStringLiteral("\"Season 1\" \"Film.2001.MKV\""));
    QStringList chosen;
    QObject::connect(&panel, &QDialog::finished, [&](int result) {
        if (result == QDialog::Accepted)
            chosen = panel.chosenPaths();
    });
    panel.open();
    panel.accept();
    EXPECT_EQ(chosen, QStringList({dir.filePath(QStringLiteral("Season 1")),
                                   dir.filePath(QStringLiteral("Film.2001.MKV"))}));
}

} // namespace
