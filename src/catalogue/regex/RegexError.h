#pragma once

#include "catalogue/regex/RegexOptions.h"
#include "platform/Error.h"
#include "platform/Exception.h"
#include "platform/Range.h"

#include <QString>
#include <QVariantMap>

#include <unicode/parseerr.h>

namespace rx {

class RegexMatcher;

inline const QString ErrorDomain = QStringLiteral("RXICURegexErrorDomain");
inline const QString ICUExceptionName = QStringLiteral("RXICURegexException");

// Keys of the user-info that errors and exceptions of the library carry.
namespace ErrorKey {
inline const QString Regex = QStringLiteral("RXICURegexRegex");
inline const QString RegexOptions = QStringLiteral("RXICURegexRegexOptions");
inline const QString ErrorCode = QStringLiteral("RXICURegexErrorCode");
inline const QString ErrorName = QStringLiteral("RXICURegexErrorName");
inline const QString Line = QStringLiteral("RXICURegexLine");
inline const QString Offset = QStringLiteral("RXICURegexOffset");
inline const QString PreContext = QStringLiteral("RXICURegexPreContext");
inline const QString PostContext = QStringLiteral("RXICURegexPostContext");
inline const QString FailureReason = QStringLiteral("NSLocalizedFailureReason");
inline const QString SubjectString = QStringLiteral("RXICURegexSubjectString");
inline const QString SubjectRange = QStringLiteral("RXICURegexSubjectRange");
inline const QString ReplacementString = QStringLiteral("RXICURegexReplacementString");
inline const QString ReplacedString = QStringLiteral("RXICURegexReplacedString");
inline const QString ReplacedCount = QStringLiteral("RXICURegexReplacedCount");
inline const QString EnumerationOptions = QStringLiteral("RXICURegexEnumerationOptions");
} // namespace ErrorKey

// A problem found inside the library. The public operation that was called
// turns it into an Exception whose reason names that operation.
class RegexFailure
{
public:
    RegexFailure(QString name, QString message, QVariantMap userInfo = {})
        : m_name(std::move(name)), m_message(std::move(message)), m_userInfo(std::move(userInfo))
    {}

    // A failure status from ICU while matching or replacing.
    static RegexFailure icu(const QString &regex, RegexOptions options, int status);

    // Formats the reason as "*** <kind>[QString <function>]: <message>", with kind '+'
    // for operations on the pattern alone and '-' for operations on a subject.
    Exception toException(char kind, const char *function) const;

    const QString &name() const { return m_name; }
    const QString &message() const { return m_message; }

private:
    QString m_name;
    QString m_message;
    QVariantMap m_userInfo;
};

class RegexError
{
public:
    // The parse position appears only when ICU reported one.
    static QVariantMap userInfo(const QString &regex, RegexOptions options, int status,
                                const UParseError *parseError = nullptr);
    static Error compileError(const QString &regex, RegexOptions options, int status,
                              const UParseError &parseError);

    // An operation that ICU ended early without failing: a search that ran out of time.
    // The details name the pattern, the subject and its range; callers add their own.
    static Error unexpectedIcuError(const RegexMatcher &matcher);
    static Error unexpectedError(const RegexMatcher &matcher);
};

// Runs an operation of the library, raising what it found as an Exception.
template <typename Function>
auto raisingFailures(char kind, const char *function, Function &&operation)
{
    try {
        return operation();
    } catch (const RegexFailure &failure) {
        throw failure.toException(kind, function);
    }
}

} // namespace rx
