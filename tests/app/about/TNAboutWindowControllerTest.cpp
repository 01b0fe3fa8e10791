#include "app/about/TNAboutWindowController.h"
#include "app/about/HyperlinkButton.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTextBrowser>

#include "../OpenedUrls.h"

#include <gtest/gtest.h>

namespace {

TEST(AboutWindow, ShowsTheVersionAndTheAcknowledgements)
{
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2.3"));
    TNAboutWindowController about;
    EXPECT_EQ(about.findChild<QLabel *>(QStringLiteral("fVersionField"))->text(),
              QStringLiteral("Version 1.2.3"));
    const QString acknowledgements =
        about.findChild<QTextBrowser *>(QStringLiteral("fTextView"))->toPlainText();
    EXPECT_TRUE(acknowledgements.contains(QStringLiteral("Acknowledgements")));
    EXPECT_TRUE(acknowledgements.contains(QStringLiteral("flag drawings")));
}

TEST(AboutWindow, ItsTwoPagesLeadToEachOther)
{
    TNAboutWindowController about;
    const auto *pages = about.findChild<QStackedWidget *>(QStringLiteral("pages"));
    const auto button = [&](const char *name) {
        return about.findChild<QPushButton *>(QString::fromLatin1(name));
    };
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("aboutPage"));
    EXPECT_FALSE(button("aboutPreviousButton")->isEnabled());
    EXPECT_FALSE(button("acknowledgementsNextButton")->isEnabled());
    button("aboutNextButton")->click();
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("acknowledgementsPage"));
    button("acknowledgementsPreviousButton")->click();
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("aboutPage"));
}

TEST(AboutWindow, AMissingAcknowledgementsFileLeavesTheTextEmpty)
{
    TNAboutWindowController about(QStringLiteral(":/no-such-file.html"));
    EXPECT_TRUE(
        about.findChild<QTextBrowser *>(QStringLiteral("fTextView"))->toPlainText().isEmpty());
}

TEST(AboutWindow, OneWindowServesTheWholeRun)
{
    TNAboutWindowController &about = TNAboutWindowController::aboutController();
    about.showWindow();
    EXPECT_TRUE(about.isVisible());
    about.close();
    EXPECT_EQ(&TNAboutWindowController::aboutController(), &about);
}

TEST(HyperlinkButton, ShowsTheAddressAsAUrlAndOpensIt)
{
    HyperlinkButton link;
    link.setTitle(QStringLiteral("https://example.org/a page?q=ü"));
    EXPECT_EQ(link.text(), QStringLiteral("https://example.org/a%20page?q=%C3%BC"));
    EXPECT_TRUE(link.font().underline());
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);

    OpenedUrls browser({QStringLiteral("https")});
    link.click();
    ASSERT_EQ(browser.urls.size(), 1);
    EXPECT_EQ(browser.urls.first(), QUrl(QStringLiteral("https://example.org/a%20page?q=%C3%BC")));
}

} // namespace
