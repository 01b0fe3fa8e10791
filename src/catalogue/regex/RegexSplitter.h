#pragma once

#include "catalogue/regex/RegexMatcher.h"

#include <functional>

namespace rx {

// Cuts a matcher's range into the pieces between matches.
class RegexSplitter
{
public:
    // A piece, then the groups of the match that ends it. The tail after the last
    // match has its groups not found. Returning false stops the split.
    using PieceCallback = std::function<bool(const QList<Range> &piece, bool tail)>;

    explicit RegexSplitter(RegexMatcher &matcher) : m_matcher(matcher) {}

    // Hands over the pieces one by one. An empty match right where the previous one
    // ended separates nothing. When the last match ends the range, the empty pieces
    // after the last non-empty one are left out.
    void split(const PieceCallback &callback);

    // Every piece followed by its match's groups, in one list; the tail stands
    // alone, and empty entries at the end go when the last match ends the range.
    QList<Range> ranges();

private:
    RegexMatcher &m_matcher;
};

} // namespace rx
