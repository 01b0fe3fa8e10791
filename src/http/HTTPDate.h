#pragma once

#include <QDateTime>
#include <QString>

// Dates in the form HTTP headers use ("Sun, 06 Nov 1994 08:49:37 GMT"), read and written
// without regard to the user's locale or time zone.
class HTTPDate
{
public:
    // Also takes the form without weekday and the form without seconds; anything else, an
    // unknown zone or a year in UTC outside 1000-9999 included, gives an invalid date.
    static QDateTime dateFromRFC1123String(const QString &text);
    // Null for a date whose year in UTC is outside 1000-9999.
    static QString rfc1123String(const QDateTime &date);
};
