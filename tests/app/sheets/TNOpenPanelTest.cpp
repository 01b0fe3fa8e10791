#include "app/sheets/TNOpenPanel.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A folder holding "Season 1" and "Film.2001.MKV", shown in an open panel.
class OpenPanelTest : public ::testing::Test
{
protected:
    OpenPanelTest()
    {
        QDir(dir.path()).mkdir(QStringLiteral("Season 1"));
        QFile video(dir.filePath(QStringLiteral("Film.2001.MKV")));
        video.open(QIODevice::WriteOnly);
        panel.setDirectory(dir.path());
        QObject::connect(&panel, &QDialog::finished, [this](int result) {
            ++results;
            if (result == QDialog::Accepted)
                chosen = panel.chosenPaths();
        });
    }

    void open()
    {
        panel.open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        list = panel.findChild<QListView *>(QStringLiteral("listView"));
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(TestSupport::waitUntil([&] {
            return rowOf(QStringLiteral("Season 1")).isValid() &&
                   rowOf(QStringLiteral("Film.2001.MKV")).isValid();
        }));
    }

    QModelIndex rowOf(const QString &name) const
    {
        const QModelIndex root = list->rootIndex();
        for (int row = 0; row < list->model()->rowCount(root); ++row) {
            const QModelIndex index = list->model()->index(row, 0, root);
            if (index.data().toString() == name)
                return index;
        }
        return {};
    }

    QTemporaryDir dir;
    TNOpenPanel panel;
    QListView *list = nullptr;
    QStringList chosen;
    int results = 0;
};

TEST_F(OpenPanelTest, ChoosesFilesAndFoldersTogetherThroughItsOwnButton)
{
    EXPECT_TRUE(TNOpenPanel::nameFilter().contains(QLatin1String("*.mkv")));
    EXPECT_TRUE(TNOpenPanel::nameFilter().contains(QLatin1String("*.mp4v")));
    open();
    auto *buttons = panel.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    QPushButton *choose = buttons->button(QDialogButtonBox::Open);
    ASSERT_NE(choose, nullptr);

    const auto click = [&](const QString &name, Qt::KeyboardModifiers modifiers) {
        const QRect item = list->visualRect(rowOf(name));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, item.center());
    };
    click(QStringLiteral("Film.2001.MKV"), Qt::NoModifier);
    EXPECT_TRUE(choose->isEnabled()) << "a video file alone can be chosen";
    click(QStringLiteral("Season 1"), Qt::ControlModifier);
    ASSERT_TRUE(choose->isEnabled());
    QTest::mouseClick(choose, Qt::LeftButton);
    EXPECT_EQ(results, 1);
    EXPECT_EQ(chosen, QStringList({dir.filePath(QStringLiteral("Film.2001.MKV")),
                                   dir.filePath(QStringLiteral("Season 1"))}));
    EXPECT_NE(panel.windowTitle(), QStringLiteral("Find Directory"));
}

TEST_F(OpenPanelTest, AFolderPathTypedByHandOpensTheFolder)
{
    open();
    auto *field = panel.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(field, nullptr);
    field->setFocus();
    QTest::keyClicks(field, dir.filePath(QStringLiteral("Season 1")));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(results, 0) << "nothing imported";
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.directory().path(), dir.filePath(QStringLiteral("Season 1")));
}

TEST(OpenPanelStart, OpensInTheFolderOfTheLastImportElseAtHome)
{
    EXPECT_EQ(TNOpenPanel::startFolder(), QDir::homePath());
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("tv"));
    const QString file = dir.filePath(QStringLiteral("tv/Lost.S01E01.avi"));
    QFile(file).open(QIODevice::WriteOnly);

    TNOpenPanel::rememberImport({dir.path(), file, dir.filePath(QStringLiteral("missing"))});
    EXPECT_EQ(TNOpenPanel::startFolder(), dir.filePath(QStringLiteral("tv")))
        << "the folder of the last file that exists";
    EXPECT_EQ(TNOpenPanel().directory().path(), dir.filePath(QStringLiteral("tv")));
    TNOpenPanel::rememberImport({dir.filePath(QStringLiteral("missing"))});
    EXPECT_EQ(TNOpenPanel::startFolder(), dir.filePath(QStringLiteral("tv")));

    QDir(dir.filePath(QStringLiteral("tv"))).removeRecursively();
    EXPECT_EQ(TNOpenPanel::startFolder(), QDir::homePath()) << "a folder that went away";
    UserDefaults::standard().setValue(TNOpenPanel::LastImportFolderKey, 7);
    EXPECT_EQ(TNOpenPanel::startFolder(), QDir::homePath());
}

} // namespace
