#include "app/sheets/TNProgressController.h"

#include "common/TestSupport.h"

#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace {

class ProgressSheetTest : public ::testing::Test
{
protected:
    ProgressSheetTest() : sheet(&window) { window.show(); }

    QProgressBar *bar()
    {
        return sheet.findChild<QProgressBar *>(QStringLiteral("progressControl"));
    }
    QPushButton *cancelButton()
    {
        return sheet.findChild<QPushButton *>(QStringLiteral("btnCancel"));
    }
    bool hasImage()
    {
        const QLabel *image = sheet.findChild<QLabel *>(QStringLiteral("imgView"));
        return !image->pixmap().isNull();
    }

    QMainWindow window;
    TNProgressController sheet;
};

TEST_F(ProgressSheetTest, EachPhaseShowsItsTextsBarAndImage)
{
    sheet.startImport();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.actionText(), QStringLiteral("Scanning video files..."));
    EXPECT_EQ(sheet.detailedText(), QString());
    EXPECT_EQ(bar()->maximum(), 0);
    EXPECT_TRUE(hasImage());

    sheet.startSearch();
    EXPECT_EQ(sheet.actionText(), QStringLiteral("Searching the web for subtitles..."));
    EXPECT_EQ(sheet.detailedText(), QStringLiteral("Please, be patient. This may take a while."));
    EXPECT_EQ(bar()->maximum(), 0);

    sheet.startDownload(4);
    EXPECT_EQ(sheet.actionText(), QStringLiteral("Downloading subtitles..."));
    EXPECT_EQ(sheet.detailedText(), QString());
    EXPECT_EQ(bar()->minimum(), 0);
    EXPECT_EQ(bar()->maximum(), 4);
    EXPECT_EQ(bar()->value(), 0);

    sheet.endSheet();
    EXPECT_FALSE(sheet.isVisible());
}

TEST_F(ProgressSheetTest, CancelKeepsTheSheetUpWithCancelDisabled)
{
    sheet.startImport();
    int requests = 0;
    QObject::connect(&sheet, &TNProgressController::cancelRequested, [&] { ++requests; });
    cancelButton()->click();
    EXPECT_EQ(requests, 1);

    sheet.cancel();
    EXPECT_EQ(sheet.actionText(), QStringLiteral("Cancelling operation..."));
    EXPECT_EQ(sheet.detailedText(),
              QStringLiteral("Please wait until current operation is finished..."));
    EXPECT_FALSE(cancelButton()->isEnabled());
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_TRUE(sheet.isVisible());

    sheet.startSearch();
    EXPECT_TRUE(cancelButton()->isEnabled());
}

TEST_F(ProgressSheetTest, ALongFileNameKeepsTheSheetCentredWithinItsWindow)
{
    window.setGeometry(200, 150, 700, 400);
    sheet.startImport();
    const QString name = QString(300, u'x') + QStringLiteral(".mkv");
    sheet.setDetailedText(name);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    TestSupport::processEventsFor(20);
    const auto expectCentred = [this] {
        const QRect over = window.frameGeometry();
        const QRect frame = sheet.frameGeometry();
        EXPECT_TRUE(over.contains(frame)) << frame.width() << " px wide";
        EXPECT_LE((frame.center() - over.center()).manhattanLength(), 2)
            << frame.center().x() << "," << frame.center().y() << " over " << over.center().x()
            << "," << over.center().y();
        EXPECT_TRUE(frame.contains(cancelButton()->mapToGlobal(cancelButton()->rect().center())));
    };
    expectCentred();
    EXPECT_EQ(sheet.detailedText(), name);
    const QString shown = sheet.findChild<QLabel *>(QStringLiteral("textLine2"))->text();
    EXPECT_TRUE(shown.contains(QChar(0x2026)) && shown.endsWith(QStringLiteral(".mkv")))
        << qPrintable(shown);

    // The window manager places the window after the sheet went up.
    window.move(420, 310);
    TestSupport::processEventsFor(20);
    expectCentred();
}

TEST_F(ProgressSheetTest, EscapeAndTheCloseButtonCancelUntilTheCancellationRuns)
{
    sheet.startSearch();
    int requests = 0;
    QObject::connect(&sheet, &TNProgressController::cancelRequested, [&] { ++requests; });
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(requests, 1);
    sheet.close();
    EXPECT_EQ(requests, 2);
    EXPECT_TRUE(sheet.isVisible()) << "the batch ends the sheet";

    sheet.cancel();
    QTest::keyClick(&sheet, Qt::Key_Escape);
    sheet.close();
    EXPECT_EQ(requests, 2);
}

TEST_F(ProgressSheetTest, FoundCountAddsUpAndRestartsWithTheNextPhase)
{
    sheet.startSearch();
    sheet.subtitlesFound(3);
    sheet.subtitlesFound(4);
    EXPECT_EQ(sheet.detailedText(), QStringLiteral("7 Subtitles found so far."));
    sheet.startSearch();
    sheet.subtitlesFound(2);
    EXPECT_EQ(sheet.detailedText(), QStringLiteral("2 Subtitles found so far."));
}

TEST_F(ProgressSheetTest, DownloadResultsCountAndAdvanceTheBarWithoutOverflowing)
{
    sheet.startDownload(3);
    for (int i = 0; i < 5; ++i)
        sheet.subtitlesDownloadedOK(1);
    EXPECT_EQ(sheet.detailedText(), QStringLiteral("5 subtitles downloaded"));
    sheet.subtitlesDownloadedError(2);
    EXPECT_EQ(sheet.detailedText(),
              QStringLiteral("5 subtitles downloaded OK. 2 subtitles with error"));
    TestSupport::processEventsFor(20);
    EXPECT_EQ(bar()->value(), 3);

    sheet.startDownload(0);
    EXPECT_GT(bar()->maximum(), 0) << "an empty download must not show a busy bar";
}

TEST_F(ProgressSheetTest, TextsCanBeSetFromAWorkerThread)
{
    sheet.startImport();
    QThread *worker = QThread::create([this] { sheet.setDetailedText(QStringLiteral("a.avi")); });
    worker->start();
    ASSERT_TRUE(TestSupport::waitUntil([worker] { return worker->isFinished(); }));
    delete worker;
    EXPECT_EQ(sheet.detailedText(), QStringLiteral("a.avi"));
}

} // namespace
