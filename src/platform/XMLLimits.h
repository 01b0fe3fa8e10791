#pragma once

#include <QByteArray>

// How much markup a reply from outside may hold before it is refused unparsed: each element
// costs far more memory once parsed than its few bytes of text. A search answering 500
// subtitles holds about 240,000.
namespace XMLLimits {

constexpr qsizetype MaximumElements = 1000000;

inline bool hasTooManyElements(const QByteArray &xml)
{
    return xml.count('<') > MaximumElements;
}

} // namespace XMLLimits
