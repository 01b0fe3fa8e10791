#include "catalogue/regex/RegexMatcher.h"

#include "catalogue/regex/RegexError.h"

namespace rx {

namespace {

const UChar EmptyText[] = {0};

// ICU counts match time in units of about ten thousand engine steps. A linear
// pattern needs a few steps per character; the allowance is far above that, so
// that only runaway backtracking reaches it.
constexpr int32_t TimeLimitFloor = 100;
constexpr qsizetype CharactersPerTimeUnit = 100;

// The longest subject a pattern keeps set between operations.
constexpr qsizetype KeptTextLimit = 2048;

int32_t timeLimit(qsizetype length)
{
    return TimeLimitFloor + static_cast<int32_t>(length / CharactersPerTimeUnit);
}

} // namespace

RegexMatcher::RegexMatcher(CachedRegex &regex, const QString &subject, Range range)
    : m_regex(regex), m_subject(subject), m_range(range)
{
    const UChar *units =
        m_subject.isEmpty() ? EmptyText : reinterpret_cast<const UChar *>(m_subject.constData());
    UErrorCode status = U_ZERO_ERROR;
    uregex_setText(m_regex.icu(), units + range.location, static_cast<int32_t>(range.length),
                   &status);
    uregex_setTimeLimit(m_regex.icu(), timeLimit(range.length), &status);
    if (U_FAILURE(status))
        throw RegexFailure(Exception::InternalInconsistency,
                           QStringLiteral("Failed to set up UTF16 buffer."));
}

RegexMatcher::~RegexMatcher()
{
    // No compiled pattern may keep pointing at text that is about to go: a short subject
    // that owns its text is kept alive by the pattern until the next operation sets
    // another, which saves setting an empty text now; any other is unset.
    if (m_subject.data_ptr().isMutable() && m_subject.size() <= KeptTextLimit) {
        m_regex.keepText(m_subject);
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    uregex_setText(m_regex.icu(), EmptyText, 0, &status);
    m_regex.keepText(QString());
}

void RegexMatcher::check(UErrorCode status) const
{
    if (U_FAILURE(status))
        throw RegexFailure::icu(m_regex.pattern(), m_regex.options(), status);
}

bool RegexMatcher::findNext()
{
    UErrorCode status = U_ZERO_ERROR;
    const bool found = uregex_findNext(m_regex.icu(), &status);
    // A search that runs out of time finds nothing more.
    if (status == U_REGEX_TIME_OUT) {
        m_ranOutOfTime = true;
        return false;
    }
    check(status);
    return found;
}

void RegexMatcher::reset()
{
    UErrorCode status = U_ZERO_ERROR;
    uregex_reset(m_regex.icu(), 0, &status);
    if (status == U_INDEX_OUTOFBOUNDS_ERROR && m_range.length == 0)
        return;
    check(status);
}

Range RegexMatcher::groupRange(int group) const
{
    UErrorCode status = U_ZERO_ERROR;
    const int32_t start = uregex_start(m_regex.icu(), group, &status);
    const int32_t end = uregex_end(m_regex.icu(), group, &status);
    check(status);
    if (start < 0)
        return Range::notFound();
    return Range(m_range.location + start, end - start);
}

void RegexMatcher::appendGroupRanges(QList<Range> &ranges) const
{
    for (int group = 1; group <= captureCount(); ++group)
        ranges.append(groupRange(group));
}

QList<Range> RegexMatcher::matchAndGroupRanges(qsizetype matchLimit)
{
    QList<Range> ranges;
    for (qsizetype found = 0; found < matchLimit && findNext(); ++found) {
        if (found == 0)
            ranges.reserve(captureCount() + 1);
        ranges.append(matchRange());
        appendGroupRanges(ranges);
    }
    return ranges;
}

QList<Range> RegexMatcher::captureRanges(int capture)
{
    QList<Range> ranges;
    while (findNext())
        ranges.append(groupRange(capture));
    return ranges;
}

QString RegexMatcher::text(Range range) const
{
    if (range.length == 0)
        return QStringLiteral("");
    return m_subject.mid(range.location, range.length);
}

} // namespace rx
