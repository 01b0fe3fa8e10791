#include "app/notices/TNRemoteNotification.h"

#include "platform/UserDefaults.h"

#include <QRegularExpression>

namespace {

// Reads like C's atoi: blanks, a sign, then the leading digits; no number reads as 0.
int leadingInteger(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?\\d{1,9})"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// The page path stays a path below the endpoint: no scheme, no way up.
bool isRelativePath(const QString &html)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    if (html.contains(scheme) || html.startsWith(QLatin1Char('/')))
        return false;
    const QStringList segments = html.split(QRegularExpression(QStringLiteral("[/\\\\]")));
    return !segments.contains(QStringLiteral(".."));
}

} // namespace

std::optional<TNRemoteNotification>
TNRemoteNotification::initWithDictionary(const QJsonObject &dictionary, const QUrl &baseURL)
{
    const QJsonValue enabled = dictionary.value(QLatin1String("enabled"));
    const QJsonValue identifier = dictionary.value(QLatin1String("identifier"));
    const QJsonValue html = dictionary.value(QLatin1String("html"));
    const std::optional<QDateTime> start =
        dateFromString(dictionary.value(QLatin1String("startdate")).toString());
    const std::optional<QDateTime> end =
        dateFromString(dictionary.value(QLatin1String("enddate")).toString());
    if (!enabled.isBool() || !identifier.isString() || identifier.toString().isEmpty() ||
        !html.isString() || html.toString().isEmpty() || !start || !end ||
        !isRelativePath(html.toString()) || !baseURL.isValid())
        return std::nullopt;
    TNRemoteNotification notice;
    notice.m_enabled = enabled.toBool();
    notice.m_identifier = identifier.toString();
    notice.m_startDate = *start;
    notice.m_endDate = *end;
    notice.m_url = urlByAppendingPathComponent(baseURL, html.toString());
    return notice;
}

std::optional<QDateTime> TNRemoteNotification::dateFromString(const QString &text)
{
    const qsizetype t = text.indexOf(QLatin1Char('T'));
    if (t < 0)
        return std::nullopt;
    const QStringList parts = text.left(t).split(QLatin1Char('-'));
    if (parts.size() != 3)
        return std::nullopt;
    const int year = leadingInteger(parts.at(0));
    const int month = leadingInteger(parts.at(1));
    const int day = leadingInteger(parts.at(2));
    if (year < 2016 || month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    // A year past what a date and time can hold makes no date at all.
    const QDateTime midnight = QDate(year, month, 1).addDays(day - 1).startOfDay();
    if (!midnight.isValid())
        return std::nullopt;
    return midnight;
}

bool TNRemoteNotification::shouldShow(UserDefaults &defaults, const QDateTime &now) const
{
    if (!m_enabled || haveShownFlagInUserDefaults(defaults))
        return false;
    return now >= m_startDate && now <= m_endDate;
}

bool TNRemoteNotification::haveShownFlagInUserDefaults(UserDefaults &defaults) const
{
    return defaults.listValue(ShownKey).contains(m_identifier);
}

void TNRemoteNotification::saveShownFlagInUserDefaults(UserDefaults &defaults) const
{
    QVariantList shown = defaults.listValue(ShownKey);
    if (!shown.contains(m_identifier))
        shown.append(m_identifier);
    defaults.setValue(ShownKey, shown);
}

QUrl TNRemoteNotification::urlByAppendingPathComponent(QUrl url, const QString &component)
{
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path.append(QLatin1Char('/'));
    url.setPath(path + component, QUrl::DecodedMode);
    return url;
}
