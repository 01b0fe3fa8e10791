#pragma once

#include "catalogue/regex/CachedRegex.h"
#include "platform/Range.h"

#include <QList>
#include <QString>

namespace rx {

// A compiled pattern set to one range of a subject for the length of one
// operation. ICU sees only that range, so anchors and look-behind stop at its
// edges; every range handed back is in offsets of the whole subject. The time ICU
// may spend grows with the range's length; past it, no further match is found.
class RegexMatcher
{
public:
    // The range must already lie inside the subject.
    RegexMatcher(CachedRegex &regex, const QString &subject, Range range);
    ~RegexMatcher();
    RegexMatcher(const RegexMatcher &) = delete;
    RegexMatcher &operator=(const RegexMatcher &) = delete;

    // Moves to the next match; after an empty match ICU steps one code point on.
    // False once the operation has used up its time.
    bool findNext();
    // Whether a search stopped because the operation used up its time.
    bool ranOutOfTime() const { return m_ranOutOfTime; }
    // Starts again at the beginning of the range.
    void reset();

    // A group of the current match; not found when the group took no part.
    Range groupRange(int group) const;
    Range matchRange() const { return groupRange(0); }
    // Appends the ranges of groups 1..captureCount of the current match.
    void appendGroupRanges(QList<Range> &ranges) const;

    // Every match up to the limit, each as its whole match followed by its groups.
    QList<Range> matchAndGroupRanges(qsizetype matchLimit);
    // One capture of every match.
    QList<Range> captureRanges(int capture);

    const CachedRegex &regex() const { return m_regex; }
    int captureCount() const { return m_regex.captureCount(); }
    const QString &subject() const { return m_subject; }
    Range range() const { return m_range; }
    QString text(Range range) const;

    // Raises an ICU failure status as the library's exception.
    void check(UErrorCode status) const;

private:
    CachedRegex &m_regex;
    // A private reference to the text: ICU keeps a pointer to it while set.
    const QString m_subject;
    const Range m_range;
    bool m_ranOutOfTime = false;
};

} // namespace rx
