#pragma once

#include "catalogue/regex/RegexCache.h"
#include "catalogue/regex/RegexError.h"
#include "catalogue/regex/RegexMatcher.h"

#include <optional>
#include <type_traits>

namespace rx {

// The shared path of every operation on a subject that runs under the cache lock.
class RegexCore
{
public:
    // The range with a whole length made concrete; raises when it does not lie
    // inside a subject of that length, or when ICU cannot address the subject.
    static Range expandRange(Range range, qsizetype subjectLength);

    // Compiles (or finds) the pattern, checks the range, and runs the body on a
    // matcher set to it, all under the cache lock. Empty when the pattern does not
    // compile; the error then says why. A body whose search ran out of time keeps what
    // it found, and the error says that the rest was not searched. The error is
    // cleared first.
    template <typename Body>
    static auto perform(const QString &regex, RegexOptions options, const QString &subject,
                        Range range, Error *error, Body &&body)
        -> std::optional<std::invoke_result_t<Body, RegexMatcher &>>
    {
        using Result = std::optional<std::invoke_result_t<Body, RegexMatcher &>>;
        setError(error, Error());
        return RegexCache::shared().withRegex(
            regex, options, error, [&](CachedRegex *compiled) -> Result {
                const Range expanded = expandRange(range, subject.size());
                if (!compiled)
                    return std::nullopt;
                RegexMatcher matcher(*compiled, subject, expanded);
                Result result = body(matcher);
                if (matcher.ranOutOfTime())
                    setError(error, RegexError::unexpectedIcuError(matcher));
                return result;
            });
    }

    // Raises unless the capture names the whole match or one of the groups.
    static void checkCapture(const RegexMatcher &matcher, int capture);
};

} // namespace rx
