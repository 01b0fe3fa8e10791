#include "app/notices/TNRemoteNotificationWindowController.h"
#include "app/notices/NoticeBrowser.h"
#include "app/notices/TNNotificationParser.h"

#include "common/TestSupport.h"
#include "fakes/app/FakeNoticeSite.h"
#include "platform/UserDefaults.h"

#include <QMutex>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "../OpenedUrls.h"

#include <gtest/gtest.h>

namespace {

QJsonObject currentNotice(const QString &identifier)
{
    const QDate today = QDate::currentDate();
    return {{QStringLiteral("identifier"), identifier},
            {QStringLiteral("html"), identifier + QStringLiteral(".html")},
            {QStringLiteral("enabled"), true},
            {QStringLiteral("startdate"), today.addDays(-1).toString(Qt::ISODate) + "T00:00:00"},
            {QStringLiteral("enddate"), today.addDays(2).toString(Qt::ISODate) + "T00:00:00"}};
}

class NoticeWindowTest : public ::testing::Test
{
protected:
    // Loads the notice's page and waits for the load to end.
    void show(const QString &identifier)
    {
        const auto notice =
            TNRemoteNotification::initWithDictionary(currentNotice(identifier), site.endpoint());
        ASSERT_TRUE(notice);
        QSignalSpy ended(&window, &TNRemoteNotificationWindowController::loadEnded);
        window.showNotification(*notice);
        ASSERT_TRUE(ended.wait(5000));
    }
    bool remembered(const QString &identifier) const
    {
        return defaults.listValue(TNRemoteNotification::ShownKey).contains(identifier);
    }
    NoticeBrowser *page() const
    {
        return window.findChild<NoticeBrowser *>(QStringLiteral("webView"));
    }

    FakeNoticeSite site;
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("settings.json"))};
    TNRemoteNotificationWindowController window{defaults};
};

TEST_F(NoticeWindowTest, AGoodPageIsShownAndRemembered)
{
    site.setPage(QStringLiteral("survey.html"), "<h1>Tell us</h1><p>Caf\xc3\xa9 survey</p>");
    show(QStringLiteral("survey"));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(page()->toPlainText().contains(QStringLiteral("Café survey")));
    EXPECT_TRUE(remembered(QStringLiteral("survey")));

    window.findChild<QPushButton *>(QStringLiteral("okButton"))->click();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(NoticeWindowTest, MissingOrBadPagesStayHiddenAndAreTriedAgainLater)
{
    site.setPage(QStringLiteral("a.html"), "<p>Sorry, page NOT FOUND here</p>");
    site.setPage(QStringLiteral("b.html"), "<p>Error 404 </p>");
    site.setPage(QStringLiteral("c.html"), "<p>\xff\xfe bytes</p>");
    site.setPage(QStringLiteral("d.html"), "<p>gone</p>", 410);
    for (const QString &identifier : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                      QStringLiteral("d"), QStringLiteral("unpublished")}) {
        show(identifier);
        EXPECT_FALSE(window.isVisible()) << qPrintable(identifier);
        EXPECT_FALSE(remembered(identifier)) << qPrintable(identifier);
    }
}

TEST_F(NoticeWindowTest, LinksOpenInTheBrowserAndThePageStays)
{
    site.setPage(QStringLiteral("news.html"), "<a href=\"more.html\">more</a>");
    show(QStringLiteral("news"));
    OpenedUrls browser({QStringLiteral("http"), QStringLiteral("file")});
    Q_EMIT page()->anchorClicked(QUrl(QStringLiteral("more.html")));
    Q_EMIT page()->anchorClicked(QUrl(QStringLiteral("file:///etc/passwd")));
    EXPECT_EQ(browser.urls,
              QList<QUrl>{site.endpoint().resolved(QUrl(QStringLiteral("notices/more.html")))});
    EXPECT_TRUE(page()->toPlainText().contains(QStringLiteral("more")));
    EXPECT_TRUE(window.isVisible());
}

TEST(NoticeBrowser, FetchesNothingAPageNames)
{
    NoticeBrowser browser;
    EXPECT_FALSE(
        browser.loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("qrc:/acks.html")))
            .isValid());
    EXPECT_FALSE(browser.openLinks());
}

class NoticeFetchTest : public ::testing::Test
{
protected:
    // The notice the handler got, or null when none came in time.
    std::optional<TNRemoteNotification> fetch()
    {
        QMutex lock;
        std::optional<TNRemoteNotification> found;
        TNNotificationParser parser(site.endpoint(), defaults);
        parser.findRemoteNotifications([&](const TNRemoteNotification &notice) {
            QMutexLocker locked(&lock);
            found = notice;
        });
        TestSupport::waitUntil(
            [&] {
                QMutexLocker locked(&lock);
                return found.has_value();
            },
            1500);
        QMutexLocker locked(&lock);
        return found;
    }

    FakeNoticeSite site;
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("settings.json"))};
};

TEST_F(NoticeFetchTest, TheHandlerGetsTheFirstNoticeToShow)
{
    QJsonObject later = currentNotice(QStringLiteral("later"));
    later.insert(QStringLiteral("startdate"), QDate::currentDate().toString(Qt::ISODate) + "T");
    site.publish({later, currentNotice(QStringLiteral("first"))});
    const auto notice = fetch();
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->identifier(), QStringLiteral("first"));
    EXPECT_EQ(notice->url(), site.endpoint().resolved(QUrl(QStringLiteral("notices/first.html"))));
}

TEST_F(NoticeFetchTest, TheFeedAddressComesFromTheSettingsAndThereIsNoneByDefault)
{
    EXPECT_TRUE(TNNotificationParser::configuredEndpoint(defaults).isEmpty());
    for (const QVariant &unusable :
         {QVariant(QStringLiteral("file:///etc/")), QVariant(QStringLiteral("notices/")),
          QVariant(QStringLiteral("https://")), QVariant(42)}) {
        defaults.setValue(TNNotificationParser::EndpointKey, unusable);
        EXPECT_TRUE(TNNotificationParser::configuredEndpoint(defaults).isEmpty())
            << qPrintable(unusable.toString());
    }
    defaults.setValue(TNNotificationParser::EndpointKey, site.endpoint().toString());
    EXPECT_EQ(TNNotificationParser::configuredEndpoint(defaults), site.endpoint());
}

TEST_F(NoticeFetchTest, NothingIsFetchedWhenSwitchedOff)
{
    site.publish({currentNotice(QStringLiteral("first"))});
    defaults.setValue(TNNotificationParser::DisabledKey, true);
    EXPECT_FALSE(fetch());
    EXPECT_EQ(site.requestCount(), 0);
}

TEST_F(NoticeFetchTest, BrokenFeedsCallNothing)
{
    for (const QByteArray &feed :
         {QByteArray(), QByteArray("{not json"), QByteArray("[{\"identifier\":\"x\"}]"),
          QByteArray("{\"notifications\":{}}")}) {
        site.publishRaw(feed);
        EXPECT_FALSE(fetch()) << feed.constData();
    }
}

} // namespace
