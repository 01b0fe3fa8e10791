#include "common/FreshStart.h"
#include "platform/FileWriter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtGlobal>

#ifdef TROVANEL_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    FileWriter::failWritesPastSizeLimit();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    TestSupport::startEveryTestFresh(home.path());
    TestApplication app(argc, argv);
    TestApplication::setApplicationName(QStringLiteral("trovanel"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
