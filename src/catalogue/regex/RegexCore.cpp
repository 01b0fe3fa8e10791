#include "catalogue/regex/RegexCore.h"

#include "catalogue/regex/RegexError.h"

#include <limits>

namespace rx {

Range RegexCore::expandRange(Range range, qsizetype subjectLength)
{
    if (range.length == WholeLength)
        range.length = subjectLength;
    // Compared without adding, so that no sum can wrap.
    if (range.location < 0 || range.location > subjectLength || range.length < 0 ||
        range.length > subjectLength - range.location)
        throw RegexFailure(Exception::RangeError, QStringLiteral("Range or index out of bounds."));
    if (subjectLength >= std::numeric_limits<int32_t>::max())
        throw RegexFailure(Exception::RangeError, QStringLiteral("String length exceeds INT_MAX."));
    return range;
}

void RegexCore::checkCapture(const RegexMatcher &matcher, int capture)
{
    if (capture < 0 || capture > matcher.captureCount())
        throw RegexFailure(Exception::InvalidArgument,
                           QStringLiteral("The capture argument is not valid."));
}

} // namespace rx
