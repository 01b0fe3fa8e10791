#include "http/HTTPDate.h"

#include <QLocale>
#include <QStringList>

#include <optional>

namespace {

const QStringList &englishMonths()
{
    static const QStringList months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return months;
}

bool isDigits(const QString &text, int minimum, int maximum)
{
    if (text.size() < minimum || text.size() > maximum)
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// Offset from UTC in seconds for the zone names of RFC 822 and numeric "+hhmm" zones.
std::optional<int> zoneOffset(const QString &zone)
{
    static const QHash<QString, int> named = {{"GMT", 0},       {"UT", 0},        {"UTC", 0},
                                              {"Z", 0},         {"EST", -5 * 60}, {"EDT", -4 * 60},
                                              {"CST", -6 * 60}, {"CDT", -5 * 60}, {"MST", -7 * 60},
                                              {"MDT", -6 * 60}, {"PST", -8 * 60}, {"PDT", -7 * 60}};
    const auto it = named.find(zone.toUpper());
    if (it != named.end())
        return *it * 60;
    if (zone.size() == 5 && (zone[0] == QLatin1Char('+') || zone[0] == QLatin1Char('-')) &&
        isDigits(zone.mid(1), 4, 4)) {
        const int hours = zone.mid(1, 2).toInt();
        const int minutes = zone.mid(3, 2).toInt();
        if (minutes > 59)
            return std::nullopt;
        const int offset = (hours * 60 + minutes) * 60;
        return zone[0] == QLatin1Char('-') ? -offset : offset;
    }
    return std::nullopt;
}

bool hasFourDigitYear(const QDateTime &date)
{
    return date.isValid() && date.date().year() >= 1000 && date.date().year() <= 9999;
}

} // namespace

QDateTime HTTPDate::dateFromRFC1123String(const QString &text)
{
    QString rest = text;
    if (text.contains(QLatin1Char(','))) {
        static const QStringList days = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
        if (rest.size() < 5 || rest.mid(3, 2) != QLatin1String(", ") ||
            !days.contains(rest.left(3), Qt::CaseInsensitive))
            return {};
        rest = rest.mid(5);
    }
    const bool withSeconds = text.split(QLatin1Char(':')).size() == 3;
    const QStringList parts = rest.split(QLatin1Char(' '));
    if (parts.size() != 5)
        return {};
    int monthIndex = 0;
    for (int i = 0; i < 12; ++i) {
        if (englishMonths()[i].compare(parts[1], Qt::CaseInsensitive) == 0)
            monthIndex = i + 1;
    }
    const QStringList clock = parts[3].split(QLatin1Char(':'));
    if (!isDigits(parts[0], 1, 2) || monthIndex == 0 || !isDigits(parts[2], 4, 4) ||
        clock.size() != (withSeconds ? 3 : 2))
        return {};
    for (const QString &piece : clock) {
        if (!isDigits(piece, 2, 2))
            return {};
    }
    const std::optional<int> offset = zoneOffset(parts[4]);
    const QDate date(parts[2].toInt(), monthIndex, parts[0].toInt());
    const QTime time(clock[0].toInt(), clock[1].toInt(), withSeconds ? clock[2].toInt() : 0);
    if (!offset || !date.isValid() || !time.isValid())
        return {};
    const QDateTime result = QDateTime(date, time, Qt::UTC).addSecs(-*offset);
    // The zone can carry a four-digit year into one this form cannot write.
    return hasFourDigitYear(result) ? result : QDateTime();
}

QString HTTPDate::rfc1123String(const QDateTime &date)
{
    const QDateTime utc = date.toUTC();
    if (!hasFourDigitYear(utc))
        return {};
    return QLocale::c().toString(utc, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
}
