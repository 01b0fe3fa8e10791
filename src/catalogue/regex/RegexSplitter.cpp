#include "catalogue/regex/RegexSplitter.h"

#include <algorithm>

namespace rx {

namespace {

bool allEmpty(const QList<Range> &ranges)
{
    return std::all_of(ranges.begin(), ranges.end(),
                       [](const Range &range) { return range.length == 0; });
}

} // namespace

void RegexSplitter::split(const PieceCallback &callback)
{
    const Range range = m_matcher.range();
    qsizetype pieceStart = range.location;
    bool endedByMatch = false;
    // Empty pieces are held back until it is known whether anything follows them.
    QList<QList<Range>> heldBack;
    auto deliver = [&](const QList<Range> &piece, bool tail) {
        for (const QList<Range> &held : std::as_const(heldBack)) {
            if (!callback(held, false))
                return false;
        }
        heldBack.clear();
        return callback(piece, tail);
    };
    while (m_matcher.findNext()) {
        const Range match = m_matcher.matchRange();
        if (match.length == 0 && match.location == pieceStart)
            continue;
        QList<Range> piece{Range(pieceStart, match.location - pieceStart)};
        m_matcher.appendGroupRanges(piece);
        pieceStart = match.end();
        endedByMatch = pieceStart == range.end();
        if (allEmpty(piece)) {
            heldBack.append(piece);
        } else if (!deliver(piece, false)) {
            return;
        }
    }
    if (endedByMatch)
        return;
    QList<Range> tail{Range(pieceStart, range.end() - pieceStart)};
    for (int group = 1; group <= m_matcher.captureCount(); ++group)
        tail.append(Range::notFound());
    deliver(tail, true);
}

QList<Range> RegexSplitter::ranges()
{
    QList<Range> ranges;
    bool tailAdded = false;
    split([&](const QList<Range> &piece, bool tail) {
        if (tail)
            ranges.append(piece.first());
        else
            ranges.append(piece);
        tailAdded = tail;
        return true;
    });
    if (!tailAdded) {
        while (!ranges.isEmpty() && ranges.last().length == 0)
            ranges.removeLast();
    }
    return ranges;
}

} // namespace rx
