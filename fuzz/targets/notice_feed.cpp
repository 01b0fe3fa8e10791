// The notice feed as the program reads it from the maker's endpoint, with none of its notices
// shown yet, then again once the first notice chosen has been shown.
#include "FuzzSupport.h"
#include "app/notices/TNNotificationParser.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {

const QUrl Endpoint(QStringLiteral("https://notices.example.org/trovanel"));
const QDateTime Now(QDate(2031, 6, 15), QTime(12, 0));

bool isMidnightOfKnownYear(const QDateTime &date)
{
    return date.isValid() && date.time() == QTime(0, 0) && date.date().year() >= 2016;
}

// The page stays on the endpoint's server, below its path, however it is read.
void checkPage(const QUrl &page)
{
    FUZZ_CHECK(page.isValid(), "a notice's page has no valid address");
    FUZZ_CHECK(Endpoint.isParentOf(page), "a notice's page lies outside the endpoint");
    FUZZ_CHECK(Endpoint.isParentOf(page.adjusted(QUrl::NormalizePathSegments)),
               "a notice's page leaves the endpoint once its path is resolved");
    FUZZ_CHECK(!page.path(QUrl::FullyDecoded).split(u'/').contains(QLatin1String("..")),
               "a notice's page path climbs up");
    FUZZ_CHECK(!page.hasQuery() && !page.hasFragment(),
               "a notice's page gained a query or a fragment");
}

void checkDates(const QJsonArray &elements)
{
    for (const QJsonValue &element : elements) {
        for (const char *key : {"startdate", "enddate"}) {
            const auto date = TNRemoteNotification::dateFromString(
                element.toObject().value(QLatin1String(key)).toString());
            FUZZ_CHECK(!date || isMidnightOfKnownYear(*date),
                       "a date read as no midnight of a year from 2016");
        }
    }
}

void checkNotices(const QList<TNRemoteNotification> &notices, const QJsonArray &elements,
                  UserDefaults &defaults)
{
    const QVariantList shown = defaults.listValue(TNRemoteNotification::ShownKey);
    for (qsizetype i = 0; i < notices.size(); ++i) {
        const TNRemoteNotification &notice = notices[i];
        FUZZ_CHECK(notice.isEnabled() && !notice.identifier().isEmpty(),
                   "a disabled notice or one without identifier is shown");
        FUZZ_CHECK(!shown.contains(notice.identifier()), "a notice already shown is shown again");
        FUZZ_CHECK(isMidnightOfKnownYear(notice.startDate()) &&
                       isMidnightOfKnownYear(notice.endDate()),
                   "a notice is dated by no midnight of a year from 2016");
        FUZZ_CHECK(notice.startDate() <= Now && Now <= notice.endDate(),
                   "a notice is shown outside its dates");
        FUZZ_CHECK(i == 0 || notices[i - 1].startDate() <= notice.startDate(),
                   "the notices are not in the order of their start");
        checkPage(notice.url());
        const bool fromFeed = std::any_of(elements.begin(), elements.end(), [&](auto element) {
            const QJsonObject fields = element.toObject();
            return fields.value(QLatin1String("identifier")).toString() == notice.identifier() &&
                   fields.value(QLatin1String("enabled")).toBool() &&
                   Endpoint.path() + u'/' + fields.value(QLatin1String("html")).toString() ==
                       notice.url().path(QUrl::FullyDecoded);
        });
        FUZZ_CHECK(fromFeed, "a notice matches no enabled element of the feed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument document = QJsonDocument::fromJson(Fuzz::bytes(data, size));
    if (!document.isObject())
        return 0;
    const QJsonObject feed = document.object();
    const QString settings = Fuzz::scratch().filePath(QStringLiteral("settings.json"));
    QFile::remove(settings);
    UserDefaults defaults(settings);

    const auto notices = TNNotificationParser::notifArrayFromJson(feed, Endpoint, defaults, Now);
    const QJsonValue list = feed.value(QLatin1String("notifications"));
    FUZZ_CHECK(notices.has_value() == (list.isArray() && !list.toArray().isEmpty()),
               "a feed with notifications read as none, or one without as some");
    const QJsonArray elements = list.toArray();
    checkDates(elements);
    if (!notices || notices->isEmpty())
        return 0;
    checkNotices(*notices, elements, defaults);

    const TNRemoteNotification first = notices->first();
    first.saveShownFlagInUserDefaults(defaults);
    FUZZ_CHECK(first.haveShownFlagInUserDefaults(defaults), "a shown notice is not recorded");
    const auto again = TNNotificationParser::notifArrayFromJson(feed, Endpoint, defaults, Now);
    FUZZ_CHECK(again.has_value(), "a feed read once is unreadable the second time");
    checkNotices(*again, elements, defaults);
    const auto sameIdentifier = [&](const TNRemoteNotification &notice) {
        return notice.identifier() == first.identifier();
    };
    FUZZ_CHECK(again->size() == notices->size() -
                                    std::count_if(notices->begin(), notices->end(), sameIdentifier),
               "showing one notice hid others or kept it");
    return 0;
}
