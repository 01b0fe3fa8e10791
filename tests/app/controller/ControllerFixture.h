#pragma once

#include "app/controller/TNController.h"
#include "app/list/TNMainWindow.h"
#include "app/sheets/TNAlert.h"
#include "app/sheets/TNLastActionResult.h"
#include "app/sheets/TNProgressController.h"
#include "platform/OperationQueue.h"
#include "platform/UserDefaults.h"
#include "services/opensubtitles/OSApi.h"

#include "../RecordingAlertPresenter.h"
#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A real controller on a real (off-screen) main window, with alerts recorded.
class ControllerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TNLastActionResult::defaultActionResult() = TNLastActionResult();
        // No OpenSubtitles session of an earlier test spares a login.
        OSApi session(QString(), QString(), QUrl(QStringLiteral("http://127.0.0.1:9")));
        session.login();
        session.logout();
        TNAlert::defaultTNAlert().setPresenter(&alerts);
        setSetting("lang0", QStringLiteral("en"));
        setSetting("oneStep", false);
        setSetting("IgnoreVideoWithSubtitles", true);
        setSetting("AlertLoginErrors", true);
        setSetting("AlertIgnoredVideoFiles", true);
        setSetting("DownloadDestination", 0);
        controller.setWindow(&window);
        controller.awakeFromNib();
        controller.applicationDidFinishLaunching({});
        setServices(true, true, false);
    }

    void TearDown() override
    {
        controller.applicationWillTerminate();
        alerts.dismissAll();
        TNAlert::defaultTNAlert().setPresenter(nullptr);
    }

    static void setSetting(const char *key, const QVariant &value)
    {
        UserDefaults::standard().setValue(QString::fromLatin1(key), value);
    }

    static void setServices(bool pod, bool os, bool bs);

    // An empty file under the temporary folder, its folders made as needed.
    QString touch(const QString &relative) const
    {
        const QString path = root.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        return path;
    }

    // Waits until the batch ended and its end-of-batch step ran.
    bool waitForBatchEnd(int timeoutMs = 10000)
    {
        return TestSupport::waitUntil(
            [this] {
                return controller.operationsCount() && !controller.progressSheet()->isVisible();
            },
            timeoutMs);
    }

    TNLastActionResult &record() { return TNLastActionResult::defaultActionResult(); }

    QTemporaryDir root;
    RecordingAlertPresenter alerts;
    TNMainWindow window;
    TNController controller;
};
