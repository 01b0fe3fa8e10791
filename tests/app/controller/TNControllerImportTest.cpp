#include "ControllerFixture.h"

#include "app/list/CatalogueTreeModel.h"
#include "app/list/TNOutlineView.h"
#include "app/sheets/TNOpenPanel.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"
#include "platform/RecentDocuments.h"

#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using ImportTest = ControllerFixture;

TEST_F(ImportTest, AFolderTreeIsCataloguedAndReported)
{
    touch(QStringLiteral("tv/The.Office.US.S03E07.720p.HDTV.x264-CTU.mkv"));
    touch(QStringLiteral("tv/deeper/Breaking.Bad.S05E14.Ozymandias.1080p.WEB-DL.avi"));
    touch(QStringLiteral("movies/Inception.2010.1080p.BluRay.x264-SPARKS.mkv"));
    touch(QStringLiteral("movies/Heat.1995.DVDRip.XviD.avi"));
    touch(QStringLiteral("movies/Heat.1995.DVDRip.XviD.srt"));
    touch(QStringLiteral("movies/notes.txt"));

    controller.applicationOpenFiles({root.path()});
    EXPECT_TRUE(controller.progressSheet()->isVisible());
    EXPECT_EQ(controller.progressSheet()->actionText(), QStringLiteral("Scanning video files..."));
    ASSERT_TRUE(waitForBatchEnd());

    EXPECT_EQ(controller.totalVideoFiles(), 3);
    EXPECT_EQ(controller.totalVideoFilesToSearch(), 3);
    EXPECT_EQ(record().ignoredFiles(), 1);
    EXPECT_EQ(controller.statusText(), QStringLiteral("3 Video File, 1 Ignored Video file"));
    EXPECT_EQ(window.statusTextField()->text(), controller.statusText());
    EXPECT_TRUE(controller.progressSheet()->detailedText().endsWith(QLatin1String(".mkv")) ||
                controller.progressSheet()->detailedText().endsWith(QLatin1String(".avi")));
    EXPECT_EQ(controller.lastImportedFolders(), QStringList{root.path()});

    VideoFile *episode = controller.modelController().insertVideoFile(
        root.filePath(QStringLiteral("tv/The.Office.US.S03E07.720p.HDTV.x264-CTU.mkv")));
    EXPECT_EQ(episode->season(), 3);
    EXPECT_EQ(episode->episode(), 7);
    EXPECT_EQ(episode->filetype(), VideoFileTypeTVShow);
    EXPECT_EQ(episode->modified(), true);
    EXPECT_EQ(episode->fileHash(), QString()) << "an empty file has no hash";
    EXPECT_EQ(episode->fileSize(), 0);
    EXPECT_EQ(controller.totalVideoFiles(), 3) << "the path was catalogued once";

    ASSERT_EQ(alerts.shown.size(), 1);
    EXPECT_EQ(alerts.shown.at(0).request.message,
              QStringLiteral("Trovanel ignored 1 video files with local subtitles"));
    EXPECT_EQ(alerts.shown.at(0).request.information,
              QStringLiteral("If you want to import video files with local subtitles, you can "
                             "enable it in Trovanel Preferences"));
    EXPECT_TRUE(alerts.shown.at(0).request.showSuppression);
    EXPECT_EQ(alerts.shown.at(0).request.kind, TNAlert::IgnoredVideoFilesAlert);

    // The list is sorted at the end of the batch, a moment later: movies before episodes,
    // then by name.
    const CatalogueTreeModel &model = controller.treeController();
    const QStringList sorted = {"Inception.2010.1080p.BluRay.x264-SPARKS.mkv",
                                "Breaking.Bad.S05E14.Ozymandias.1080p.WEB-DL.avi",
                                "The.Office.US.S03E07.720p.HDTV.x264-CTU.mkv"};
    QStringList order;
    EXPECT_TRUE(TestSupport::waitUntil([&] {
        order.clear();
        for (int row = 0; row < model.rowCount(); ++row)
            order.append(model.data(model.index(row, 0), Qt::DisplayRole).toString());
        return order == sorted;
    })) << order.join(QLatin1Char(',')).toStdString();
}

TEST_F(ImportTest, StatusLineTextsFollowTheCatalogueAndTheLastPhase)
{
    record().setLastAction(TNLastActionResult::ImportAction);
    record().setIgnoredFiles(2);
    controller.updateStatusInfo();
    EXPECT_EQ(controller.statusText(),
              QStringLiteral("The video file list is empty, 2 Ignored Video file"));

    TNModelController &catalogue = controller.modelController();
    VideoFile *video = catalogue.insertVideoFile(QStringLiteral("/v/a.avi"));
    for (int i = 0; i < 3; ++i) {
        Subtitle *subtitle = catalogue.insertSubtitle();
        subtitle->setParent(video);
        if (i == 0)
            subtitle->setStatus(SubtitleStatusSelected);
    }
    record().setLastAction(TNLastActionResult::SearchAction);
    controller.updateStatusInfo();
    EXPECT_EQ(controller.statusText(),
              QStringLiteral("1 Video File, 3 Subtitles found, 1 selected to download"));

    controller.doClearList();
    EXPECT_EQ(controller.statusText(), QStringLiteral("The video file list is empty"));
    EXPECT_EQ(record().lastAction(), TNLastActionResult::ClearAction);
}

TEST_F(ImportTest, CommandsAreEnabledOnlyWhileIdleAndWhenThereIsSomethingToDo)
{
    const auto enabled = [this](const QString &identifier) {
        return window.action(identifier)->isEnabled();
    };
    EXPECT_TRUE(enabled(TNController::ImportFilesIdentifier));
    EXPECT_TRUE(enabled(TNController::PreferencesIdentifier));
    EXPECT_FALSE(enabled(TNController::SearchSubsIdentifier));
    EXPECT_FALSE(enabled(TNController::DownloadSubsIdentifier));
    EXPECT_FALSE(enabled(TNController::ClearListIdentifier));
    EXPECT_FALSE(window.reScanAction()->isEnabled());
    EXPECT_FALSE(controller.validateToolbarItem(QStringLiteral("TNToolbarSomethingElse")));

    for (int i = 0; i < 3000; ++i)
        touch(QStringLiteral("many/Show.S01E%1.avi").arg(i));
    controller.applicationOpenFiles({root.path()});
    ASSERT_FALSE(controller.operationsCount());
    for (const QString &identifier :
         {TNController::ImportFilesIdentifier, TNController::SearchSubsIdentifier,
          TNController::DownloadSubsIdentifier, TNController::ClearListIdentifier,
          TNController::PreferencesIdentifier}) {
        EXPECT_FALSE(controller.validateToolbarItem(identifier)) << qPrintable(identifier);
        EXPECT_FALSE(enabled(identifier)) << qPrintable(identifier);
    }
    EXPECT_FALSE(controller.canRescan());
    // Drops and files from the desktop are ignored while a phase runs.
    controller.filesDropped({touch(QStringLiteral("other/Film.2001.avi"))});
    ASSERT_TRUE(waitForBatchEnd(60000));
    EXPECT_EQ(controller.lastImportedFolders(), QStringList{root.path()});

    EXPECT_TRUE(enabled(TNController::SearchSubsIdentifier));
    EXPECT_TRUE(enabled(TNController::ClearListIdentifier));
    EXPECT_FALSE(enabled(TNController::DownloadSubsIdentifier));
    EXPECT_TRUE(window.reScanAction()->isEnabled());

    QMenu *menu = controller.contextMenu();
    EXPECT_EQ(menu->actions().at(0)->text(), QStringLiteral("Uncheck All"));
    EXPECT_FALSE(menu->actions().at(0)->isEnabled());
}

TEST_F(ImportTest, WhatTheScanCannotNameStaysCountedInTheStatusLineUntilTheListIsCleared)
{
    touch(QStringLiteral("kept/Film.2001.avi"));
    // Its name cannot be told as text, so neither can the path of any video in it.
    const QByteArray latinFolder =
        QFile::encodeName(root.filePath(QStringLiteral("kept"))) + "/S\xe9ries";
    const QByteArray hidden = latinFolder + "/Show.S01E01.avi";
    ASSERT_EQ(::mkdir(latinFolder.constData(), 0700), 0);
    ::close(::open(hidden.constData(), O_CREAT | O_WRONLY, 0600));
    controller.applicationOpenFiles({root.filePath(QStringLiteral("kept"))});
    ASSERT_TRUE(waitForBatchEnd());
    EXPECT_EQ(controller.statusText(), QStringLiteral("1 Video File, skipped as unreadable: 1"));
    record().setLastAction(TNLastActionResult::SearchAction);
    controller.updateStatusInfo();
    EXPECT_EQ(controller.statusText(), QStringLiteral("1 Video File, skipped as unreadable: 1"));
    controller.doClearList();
    EXPECT_EQ(controller.statusText(), QStringLiteral("The video file list is empty"));
    ::unlink(hidden.constData());
    ::rmdir(latinFolder.constData());
}

TEST_F(ImportTest, ReScanImportsTheRememberedFoldersAgain)
{
    const QString file = touch(QStringLiteral("a/Lost.S02E03.avi"));
    const QString folder = root.filePath(QStringLiteral("a"));
    controller.openPanelDidEnd(QDialog::Rejected, {folder});
    EXPECT_TRUE(controller.operationsCount()) << "a cancelled panel imports nothing";
    EXPECT_EQ(TNOpenPanel::startFolder(), QDir::homePath());

    controller.openPanelDidEnd(QDialog::Accepted, {file, folder, root.filePath("missing")});
    ASSERT_TRUE(waitForBatchEnd());
    EXPECT_EQ(controller.lastImportedFolders(), QStringList{folder});
    EXPECT_EQ(TNOpenPanel::startFolder(), folder) << "the next panel opens where this import was";
    EXPECT_EQ(controller.totalVideoFiles(), 1);

    controller.applicationOpenFiles({folder});
    ASSERT_TRUE(waitForBatchEnd());
    EXPECT_EQ(controller.lastImportedFolders(), QStringList({folder, folder}));

    touch(QStringLiteral("a/Lost.S02E04.avi"));
    controller.reScan();
    ASSERT_TRUE(waitForBatchEnd());
    EXPECT_EQ(controller.totalVideoFiles(), 2);
    EXPECT_EQ(controller.lastImportedFolders(), QStringList({folder, folder}))
        << "a re-scan does not remember its folders again";
}

TEST_F(ImportTest, TheStartUpFolderAndTheLaunchFilesAreImportedTogether)
{
    touch(QStringLiteral("startup/Lost.S01E01.avi"));
    const QString named = touch(QStringLiteral("named/Heat.1995.DVDRip.XviD.avi"));
    setSetting("ImportAtStartup", true);
    setSetting("ImportFolder", root.filePath(QStringLiteral("startup")));
    QFile::remove(RecentDocuments::defaultPath());
    controller.checkStartupImport({named});
    ASSERT_TRUE(waitForBatchEnd());
    EXPECT_EQ(controller.totalVideoFiles(), 2);
    EXPECT_EQ(controller.lastImportedFolders(),
              QStringList{root.filePath(QStringLiteral("startup"))});
    // Only the start-up folder joins the desktop's recently used files.
    QFile recent(RecentDocuments::defaultPath());
    ASSERT_TRUE(recent.open(QIODevice::ReadOnly));
    const QByteArray list = recent.readAll();
    EXPECT_TRUE(
        list.contains(QUrl::fromLocalFile(root.filePath(QStringLiteral("startup"))).toEncoded()));
    EXPECT_FALSE(list.contains(QUrl::fromLocalFile(named).toEncoded()));
    recent.close();
    QFile::remove(RecentDocuments::defaultPath());

    setSetting("ImportFolder", root.filePath(QStringLiteral("gone")));
    controller.checkStartupImport();
    EXPECT_TRUE(controller.operationsCount()) << "a missing start-up folder imports nothing";
}

TEST_F(ImportTest, CancellingAnImportStopsItAndTheChain)
{
    setSetting("oneStep", true);
    for (int i = 0; i < 3000; ++i)
        touch(QStringLiteral("many/Show.S02E%1.avi").arg(i));
    controller.applicationOpenFiles({root.path()});
    controller.doCancel();
    EXPECT_EQ(controller.progressSheet()->actionText(), QStringLiteral("Cancelling operation..."));
    EXPECT_EQ(controller.progressSheet()->detailedText(),
              QStringLiteral("Please wait until current operation is finished..."));
    ASSERT_TRUE(waitForBatchEnd());
    EXPECT_LT(controller.totalVideoFiles(), 3000);
    EXPECT_EQ(record().lastAction(), TNLastActionResult::ImportAction) << "no search started";
    EXPECT_FALSE(record().hasCancelled());
}

TEST_F(ImportTest, QuittingWhileAnImportRunsDoesNotHang)
{
    for (int i = 0; i < 3000; ++i)
        touch(QStringLiteral("many/Show.S03E%1.avi").arg(i));
    touch(QStringLiteral("many/Show.S03E1.srt"));
    controller.applicationOpenFiles({root.path()});
    controller.applicationWillTerminate();
    EXPECT_TRUE(controller.operationsCount());
    EXPECT_LT(controller.modelController().countVideoFiles(), 3000u) << "the scan stopped";
    TestSupport::processEventsFor(50);
    EXPECT_TRUE(alerts.shown.isEmpty()) << "nothing is reported while quitting";
}

TEST_F(ImportTest, QuitFromTheSheetCancelsTheImportAndClosesTheWindow)
{
    for (int i = 0; i < 3000; ++i)
        touch(QStringLiteral("many/Show.S04E%1.avi").arg(i));
    window.show();
    controller.applicationOpenFiles({root.path()});
    TNProgressController *sheet = controller.progressSheet();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    EXPECT_EQ(QGuiApplication::modalWindow(), nullptr)
        << "a modal sheet would swallow the window manager's close of the main window";
    sheet->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    QTest::keyClick(sheet, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(sheet->actionText(), QStringLiteral("Cancelling operation..."));
    ASSERT_TRUE(waitForBatchEnd());
    EXPECT_LT(controller.totalVideoFiles(), 3000);
}

TEST_F(ImportTest, PathsHandedOverDuringAnImportAreImportedWhenItEnds)
{
    for (int i = 0; i < 2000; ++i)
        touch(QStringLiteral("first/Show.S05E%1.avi").arg(i));
    const QString later = touch(QStringLiteral("later/Heat.1995.avi"));
    controller.applicationOpenFiles({root.filePath(QStringLiteral("first"))});
    controller.applicationOpenFiles({later});
    ASSERT_TRUE(TestSupport::waitUntil(
        [this] { return controller.operationsCount() && controller.totalVideoFiles() == 2001; },
        20000));
    EXPECT_EQ(controller.lastImportedFolders(),
              QStringList{root.filePath(QStringLiteral("first"))});
}

TEST_F(ImportTest, TheStatusLineCountsTheRowsWhileTheyComeIn)
{
    for (int i = 0; i < 3000; ++i)
        touch(QStringLiteral("many/Show.S06E%1.avi").arg(i));
    controller.applicationOpenFiles({root.path()});
    EXPECT_TRUE(TestSupport::waitUntil([this] {
        return !controller.operationsCount() &&
               window.statusTextField()->text().endsWith(QStringLiteral(" Video File"));
    }));
    ASSERT_TRUE(waitForBatchEnd());
}

TEST_F(ImportTest, CheckingASubtitleTogglesOnlyTheSelection)
{
    TNModelController &catalogue = controller.modelController();
    VideoFile *video = catalogue.insertVideoFile(QStringLiteral("/v/a.avi"));
    Subtitle *subtitle = catalogue.insertSubtitle();
    subtitle->setParent(video);

    controller.checkedButtonForItem(subtitle);
    EXPECT_EQ(subtitle->status(), SubtitleStatusSelected);
    EXPECT_EQ(controller.totalSubsToDownload(), 1);
    EXPECT_TRUE(controller.contextMenu()->actions().at(0)->isEnabled());
    EXPECT_TRUE(window.action(TNController::DownloadSubsIdentifier)->isEnabled());
    controller.checkedButtonForItem(subtitle);
    EXPECT_EQ(subtitle->status(), SubtitleStatusNotSelected);
    subtitle->setStatus(SubtitleStatusDownloaded);
    controller.checkedButtonForItem(subtitle);
    EXPECT_EQ(subtitle->status(), SubtitleStatusDownloaded);
    controller.checkedButtonForItem(nullptr);

    subtitle->setStatus(SubtitleStatusDownloadFailed);
    controller.updateStatusInfo();
    controller.contextMenu()->actions().at(0)->trigger();
    EXPECT_EQ(subtitle->status(), SubtitleStatusNotSelected);
    EXPECT_EQ(controller.totalSubsToDownload(), 0);
}

TEST_F(ImportTest, TheResizeRuleKeepsTheWidthAndDoublesIt)
{
    EXPECT_EQ(TNController::windowWillResize(nullptr, {300, 200}), QSize(0, 0));
    window.resize(400, 300);
    const int width = window.frameGeometry().width();
    EXPECT_EQ(TNController::windowWillResize(&window, {10, 10}), QSize(width, 2 * width));
}

} // namespace
