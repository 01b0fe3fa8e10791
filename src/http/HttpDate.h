#pragma once

#include <QDateTime>
#include <QString>

// Dates in the form HTTP headers use ("Sun, 06 Nov 1994 08:49:37 GMT"), read and written
// without regard to the user's locale or time zone.
class HttpDate
{
public:
    // Also takes the form without weekday and the form without seconds; anything else, an
    // unknown zone included, gives an invalid date.
    static QDateTime dateFromRFC1123String(const QString &text);
    static QString rfc1123String(const QDateTime &date);
};
