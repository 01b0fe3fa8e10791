#include "app/list/TNMainWindow.h"
#include "app/list/TNOutlineView.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>

#include <gtest/gtest.h>

TEST(MainWindowTest, ToolbarCarriesTheCommandIdentifiersInOrder)
{
    TNMainWindow window;
    QStringList identifiers;
    for (QAction *action : window.toolbarActions()) {
        if (!action->isSeparator())
            identifiers.append(action->objectName());
    }
    EXPECT_EQ(identifiers,
              QStringList({"TNToolbarImportFiles", "TNToolbarSearchSubs", "TNToolbarDownloadSubs",
                           "TNToolbarClearList", "TNToolbarPreferences"}));
    for (const QString &identifier : identifiers) {
        ASSERT_NE(window.action(identifier), nullptr);
        EXPECT_FALSE(window.action(identifier)->icon().isNull()) << qPrintable(identifier);
    }
    EXPECT_EQ(window.action(QStringLiteral("TNToolbarUnknown")), nullptr);
    EXPECT_EQ(window.reScanAction()->text(), QStringLiteral("Re-scan"));
    EXPECT_NE(window.outlineView(), nullptr);
    EXPECT_NE(window.statusTextField(), nullptr);
}

TEST(MainWindowTest, ClosingTheWindowQuits)
{
    TNMainWindow window;
    window.show();
    auto *quit = window.findChild<QAction *>(QStringLiteral("actionQuit"));
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->trigger();
    EXPECT_FALSE(window.isVisible());
}
