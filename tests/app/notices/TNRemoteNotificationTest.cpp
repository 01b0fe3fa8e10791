#include "app/notices/TNRemoteNotification.h"
#include "app/notices/TNNotificationParser.h"

#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QUrl endpoint(QStringLiteral("https://example.org/notices"));

QJsonObject notice(const QString &identifier, const QString &start, const QString &end,
                   bool enabled = true)
{
    return {{QStringLiteral("identifier"), identifier},
            {QStringLiteral("html"), identifier + QStringLiteral(".html")},
            {QStringLiteral("enabled"), enabled},
            {QStringLiteral("startdate"), start},
            {QStringLiteral("enddate"), end}};
}

QDateTime at(int year, int month, int day, int hour = 12)
{
    return QDateTime(QDate(year, month, day), QTime(hour, 0));
}

class NoticeFeedTest : public ::testing::Test
{
protected:
    QStringList chosen(const QJsonArray &notices, const QDateTime &now)
    {
        const auto found = TNNotificationParser::notifArrayFromJson(
            {{QStringLiteral("notifications"), notices}}, endpoint, defaults, now);
        EXPECT_TRUE(found.has_value());
        QStringList identifiers;
        for (const TNRemoteNotification &notice : found.value_or(QList<TNRemoteNotification>{}))
            identifiers.append(notice.identifier());
        return identifiers;
    }

    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("settings.json"))};
};

TEST(NoticeDates, ReadTheDayBeforeTheTAsLocalMidnight)
{
    using N = TNRemoteNotification;
    EXPECT_EQ(N::dateFromString(QStringLiteral("2024-03-05T10:00:00Z")),
              QDate(2024, 3, 5).startOfDay());
    // Numbers read like atoi, and day 31 rolls over in shorter months.
    EXPECT_EQ(N::dateFromString(QStringLiteral("2024-2-31Tx")), QDate(2024, 3, 2).startOfDay());
    EXPECT_EQ(N::dateFromString(QStringLiteral(" 2016-01-07abcT")), QDate(2016, 1, 7).startOfDay());
    for (const QString &bad :
         {QStringLiteral("2015-12-31T00:00"), QStringLiteral("2024-03-05"),
          QStringLiteral("2024-13-01T"), QStringLiteral("2024-00-01T"),
          QStringLiteral("2024-01-32T"), QStringLiteral("2024-01-x1T"), QStringLiteral("2024-01T"),
          QStringLiteral("2024-01-01-01T"), QStringLiteral("300000000-01-01T"),
          QStringLiteral("999999999-12-31T"), QString()})
        EXPECT_FALSE(N::dateFromString(bad).has_value()) << qPrintable(bad);
}

TEST(NoticeFields, AreTakenOnlyWithTheirTypesAndAPageBelowTheEndpoint)
{
    const QJsonObject good = notice(QStringLiteral("survey"), QStringLiteral("2024-01-01T"),
                                    QStringLiteral("2024-02-01T"));
    const auto made = TNRemoteNotification::initWithDictionary(good, endpoint);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->url(), QUrl(QStringLiteral("https://example.org/notices/survey.html")));
    EXPECT_TRUE(made->isEnabled());

    const std::initializer_list<std::pair<const char *, QJsonValue>> spoilers{
        {"identifier", QJsonValue(7)},
        {"identifier", QStringLiteral("")},
        {"enabled", QStringLiteral("true")},
        {"enabled", QJsonValue()},
        {"html", QStringLiteral("")},
        {"html", QStringLiteral("https://elsewhere.example/x.html")},
        {"html", QStringLiteral("javascript:alert(1)")},
        {"html", QStringLiteral("../../private.html")},
        {"html", QStringLiteral("/absolute.html")},
        {"enddate", QStringLiteral("2024-02-01")},
        {"startdate", QJsonValue(20240101)},
    };
    for (const auto &[key, value] : spoilers) {
        QJsonObject spoilt = good;
        spoilt.insert(QLatin1String(key), value);
        EXPECT_FALSE(TNRemoteNotification::initWithDictionary(spoilt, endpoint)) << key;
    }
    QJsonObject partial = good;
    partial.remove(QStringLiteral("enabled"));
    EXPECT_FALSE(TNRemoteNotification::initWithDictionary(partial, endpoint));

    QJsonObject nested = good;
    nested.insert(QStringLiteral("html"), QStringLiteral("2024/page?x=1.html"));
    EXPECT_EQ(TNRemoteNotification::initWithDictionary(nested, endpoint)->url().toString(),
              QStringLiteral("https://example.org/notices/2024/page%3Fx=1.html"));
}

TEST_F(NoticeFeedTest, ShowsCurrentEnabledUnseenNoticesEarliestFirst)
{
    const QJsonArray notices{
        notice(QStringLiteral("later"), QStringLiteral("2024-03-02T"),
               QStringLiteral("2024-04-01T")),
        notice(QStringLiteral("off"), QStringLiteral("2024-01-01T"), QStringLiteral("2024-04-01T"),
               false),
        notice(QStringLiteral("earlier"), QStringLiteral("2024-02-01T"),
               QStringLiteral("2024-04-01T")),
        notice(QStringLiteral("old"), QStringLiteral("2015-01-01T"), QStringLiteral("2024-04-01T")),
        // A year past what a date holds is no date, not one long past.
        notice(QStringLiteral("far"), QStringLiteral("300000000-01-01T"),
               QStringLiteral("2024-04-01T")),
        QJsonValue(QStringLiteral("not a notice")),
    };
    EXPECT_EQ(chosen(notices, at(2024, 3, 5)),
              (QStringList{QStringLiteral("earlier"), QStringLiteral("later")}));

    TNRemoteNotification::initWithDictionary(notices.at(2).toObject(), endpoint)
        ->saveShownFlagInUserDefaults(defaults);
    EXPECT_EQ(chosen(notices, at(2024, 3, 5)), QStringList{QStringLiteral("later")});
    EXPECT_EQ(defaults.listValue(TNRemoteNotification::ShownKey),
              QVariantList{QStringLiteral("earlier")});
}

TEST_F(NoticeFeedTest, ANoticeRunsFromItsStartDayUntilItsEndDayBegins)
{
    const QJsonArray notices{
        notice(QStringLiteral("n"), QStringLiteral("2024-03-05T"), QStringLiteral("2024-03-07T"))};
    EXPECT_TRUE(chosen(notices, at(2024, 3, 4, 23)).isEmpty());
    EXPECT_EQ(chosen(notices, QDate(2024, 3, 5).startOfDay()), QStringList{QStringLiteral("n")});
    EXPECT_EQ(chosen(notices, at(2024, 3, 6, 23)), QStringList{QStringLiteral("n")});
    EXPECT_EQ(chosen(notices, QDate(2024, 3, 7).startOfDay()), QStringList{QStringLiteral("n")});
    EXPECT_TRUE(chosen(notices, at(2024, 3, 7, 1)).isEmpty());
}

TEST_F(NoticeFeedTest, AFeedWithoutNoticesGivesNothing)
{
    const QDateTime now = at(2024, 3, 5);
    EXPECT_FALSE(TNNotificationParser::notifArrayFromJson({}, endpoint, defaults, now));
    EXPECT_FALSE(TNNotificationParser::notifArrayFromJson(
        {{QStringLiteral("notifications"), QJsonArray{}}}, endpoint, defaults, now));
    EXPECT_FALSE(TNNotificationParser::notifArrayFromJson(
        {{QStringLiteral("notifications"), QStringLiteral("x")}}, endpoint, defaults, now));
}

} // namespace
