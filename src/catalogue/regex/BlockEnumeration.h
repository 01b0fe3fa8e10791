#pragma once

#include "catalogue/regex/RegexBlocks.h"
#include "catalogue/regex/RegexMatcher.h"

#include <memory>
#include <optional>

namespace rx {

// Runs caller code for every match, without the cache lock: on a private clone of
// the compiled pattern and a private reference to the subject, so that the code may
// call the library again, even with the same pattern.
class BlockEnumeration
{
public:
    // Raises on invalid options or range before taking the lock.
    BlockEnumeration(const QString &regex, RegexOptions options, const QString &subject,
                     Range range, Error *error, RegexEnumerationOptions enumerationOptions,
                     bool replacing);

    // False when the pattern does not compile; the error then says why.
    bool isCompiled() const { return m_matcher.has_value(); }
    Range range() const { return m_matcher->range(); }

    void enumerateMatches(const MatchBlock &block);
    void enumeratePieces(const MatchBlock &block);
    // The range with every match replaced by what the block answers.
    QString replace(const ReplaceBlock &block, qsizetype &count);

    // False when the enumeration stopped before the end of the range without a
    // failure from ICU: the error then says so, with the count and result of a replace.
    bool finished(qsizetype count = 0, const QString *replaced = nullptr) const;

private:
    const QStringList *strings(const QList<Range> &ranges);
    QList<Range> matchRanges() const;

    Error *m_error;
    RegexEnumerationOptions m_enumerationOptions;
    std::unique_ptr<CachedRegex> m_regex;
    std::optional<RegexMatcher> m_matcher;
    QStringList m_strings;
};

} // namespace rx
