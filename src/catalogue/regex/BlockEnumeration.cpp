#include "catalogue/regex/BlockEnumeration.h"

#include "catalogue/regex/RegexCore.h"
#include "catalogue/regex/RegexError.h"
#include "catalogue/regex/RegexSplitter.h"

namespace rx {

namespace {

void checkEnumerationOptions(RegexEnumerationOptions options, bool replacing)
{
    const RegexEnumerationOptions known = RegexEnumerationOption::CapturedStringsNotRequired |
                                          RegexEnumerationOption::ReplacementRetained |
                                          RegexEnumerationOption::ReusedCapturedStrings;
    const bool bothStringModes =
        options.testFlag(RegexEnumerationOption::CapturedStringsNotRequired) &&
        options.testFlag(RegexEnumerationOption::ReusedCapturedStrings);
    const bool retainedOutsideReplace =
        options.testFlag(RegexEnumerationOption::ReplacementRetained) && !replacing;
    if ((options & ~known) || bothStringModes || retainedOutsideReplace)
        throw RegexFailure(Exception::InvalidArgument,
                           QStringLiteral("The RXRegexEnumerationOptions argument is not valid."));
}

} // namespace

BlockEnumeration::BlockEnumeration(const QString &regex, RegexOptions options,
                                   const QString &subject, Range range, Error *error,
                                   RegexEnumerationOptions enumerationOptions, bool replacing)
    : m_error(error), m_enumerationOptions(enumerationOptions)
{
    setError(error, Error());
    checkEnumerationOptions(enumerationOptions, replacing);
    const Range expanded = RegexCore::expandRange(range, subject.size());
    m_regex = RegexCache::shared().withRegex(
        regex, options, error, [](CachedRegex *compiled) -> std::unique_ptr<CachedRegex> {
            return compiled ? compiled->clone() : nullptr;
        });
    if (m_regex)
        m_matcher.emplace(*m_regex, subject, expanded);
}

const QStringList *BlockEnumeration::strings(const QList<Range> &ranges)
{
    if (m_enumerationOptions.testFlag(RegexEnumerationOption::CapturedStringsNotRequired))
        return nullptr;
    const bool reused =
        m_enumerationOptions.testFlag(RegexEnumerationOption::ReusedCapturedStrings);
    const QString &subject = m_matcher->subject();
    m_strings.clear();
    for (const Range &range : ranges) {
        if (reused && range.length > 0)
            m_strings.append(
                QString::fromRawData(subject.constData() + range.location, range.length));
        else
            m_strings.append(m_matcher->text(range));
    }
    return &m_strings;
}

QList<Range> BlockEnumeration::matchRanges() const
{
    QList<Range> ranges{m_matcher->matchRange()};
    m_matcher->appendGroupRanges(ranges);
    return ranges;
}

void BlockEnumeration::enumerateMatches(const MatchBlock &block)
{
    bool stop = false;
    while (!stop && m_matcher->findNext()) {
        const QList<Range> ranges = matchRanges();
        block(ranges.size(), strings(ranges), ranges, stop);
    }
}

void BlockEnumeration::enumeratePieces(const MatchBlock &block)
{
    RegexSplitter(*m_matcher).split([&](const QList<Range> &piece, bool) {
        bool stop = false;
        block(piece.size(), strings(piece), piece, stop);
        return !stop;
    });
}

QString BlockEnumeration::replace(const ReplaceBlock &block, qsizetype &count)
{
    const Range range = m_matcher->range();
    QString result;
    qsizetype copied = range.location;
    qsizetype calls = 0;
    bool stop = false;
    while (!stop && m_matcher->findNext()) {
        const QList<Range> ranges = matchRanges();
        const Range match = ranges.first();
        result += m_matcher->text(Range(copied, match.location - copied));
        ++calls;
        if (const std::optional<QString> replacement =
                block(ranges.size(), strings(ranges), ranges, stop))
            result += *replacement;
        copied = match.end();
    }
    result += m_matcher->text(Range(copied, range.end() - copied));
    count = calls;
    return result;
}

bool BlockEnumeration::finished(qsizetype count, const QString *replaced) const
{
    if (!m_matcher->ranOutOfTime())
        return true;
    Error failure = RegexError::unexpectedError(*m_matcher);
    QVariantMap info = failure.userInfo();
    info.insert(ErrorKey::EnumerationOptions, m_enumerationOptions.toInt());
    if (replaced) {
        info.insert(ErrorKey::ReplacedCount, count);
        info.insert(ErrorKey::ReplacedString, *replaced);
    }
    setError(m_error, Error(failure.domain(), failure.code(), info));
    return false;
}

} // namespace rx
