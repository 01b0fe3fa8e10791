#pragma once

#include <QtGlobal>

#include <limits>

// A span of a QString in UTF-16 code units.
struct Range
{
    static constexpr qsizetype NotFound = std::numeric_limits<qsizetype>::max();

    qsizetype location = NotFound;
    qsizetype length = 0;

    constexpr Range() = default;
    constexpr Range(qsizetype loc, qsizetype len) : location(loc), length(len) {}

    static constexpr Range notFound() { return Range(NotFound, 0); }

    constexpr bool isNotFound() const { return location == NotFound; }
    constexpr qsizetype end() const { return location + length; }
    constexpr bool contains(qsizetype index) const
    {
        return index >= location && index - location < length;
    }

    friend constexpr bool operator==(const Range &, const Range &) = default;
};
