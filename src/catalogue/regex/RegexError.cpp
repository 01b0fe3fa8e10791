#include "catalogue/regex/RegexError.h"

#include "catalogue/regex/RegexMatcher.h"

#include <unicode/ustring.h>
#include <unicode/utypes.h>

namespace rx {

namespace {

QString errorName(int status)
{
    return QString::fromLatin1(u_errorName(static_cast<UErrorCode>(status)));
}

Error stoppedEarly(const RegexMatcher &matcher, const QString &description)
{
    QVariantMap info = RegexError::userInfo(matcher.regex().pattern(), matcher.regex().options(),
                                            U_REGEX_TIME_OUT);
    info.insert(ErrorKey::SubjectString, matcher.subject());
    info.insert(ErrorKey::SubjectRange, QVariant::fromValue(matcher.range()));
    info.insert(Error::LocalizedDescriptionKey, description);
    return Error(ErrorDomain, U_REGEX_TIME_OUT, info);
}

QString contextText(const UChar *context)
{
    return QString(reinterpret_cast<const QChar *>(context), u_strlen(context));
}

} // namespace

RegexFailure RegexFailure::icu(const QString &regex, RegexOptions options, int status)
{
    return RegexFailure(
        ICUExceptionName,
        QStringLiteral("ICU regular expression error #%1, %2.").arg(status).arg(errorName(status)),
        RegexError::userInfo(regex, options, status));
}

Exception RegexFailure::toException(char kind, const char *function) const
{
    const QString reason =
        QStringLiteral("*** %1[QString %2]: %3")
            .arg(QChar::fromLatin1(kind), QString::fromLatin1(function), m_message);
    return Exception(m_name, reason, m_userInfo);
}

QVariantMap RegexError::userInfo(const QString &regex, RegexOptions options, int status,
                                 const UParseError *parseError)
{
    const QString name = errorName(status);
    QVariantMap info;
    info.insert(ErrorKey::Regex, regex);
    info.insert(ErrorKey::RegexOptions, options.toInt());
    info.insert(ErrorKey::ErrorCode, status);
    info.insert(ErrorKey::ErrorName, name);
    if (parseError && parseError->line != -1) {
        const QString pre = contextText(parseError->preContext);
        const QString post = contextText(parseError->postContext);
        info.insert(ErrorKey::Line, parseError->line);
        info.insert(ErrorKey::Offset, parseError->offset);
        info.insert(ErrorKey::PreContext, pre);
        info.insert(ErrorKey::PostContext, post);
        info.insert(ErrorKey::FailureReason,
                    QStringLiteral("The error %1 occurred at line %2, column %3: %4<<HERE>>%5")
                        .arg(name)
                        .arg(parseError->line)
                        .arg(parseError->offset)
                        .arg(pre, post));
    } else {
        info.insert(ErrorKey::FailureReason, QStringLiteral("The error %1 occurred.").arg(name));
    }
    return info;
}

Error RegexError::compileError(const QString &regex, RegexOptions options, int status,
                               const UParseError &parseError)
{
    QVariantMap info = userInfo(regex, options, status, &parseError);
    info.insert(Error::LocalizedDescriptionKey,
                QStringLiteral("There was an error compiling the regular expression."));
    return Error(ErrorDomain, status, info);
}

Error RegexError::unexpectedIcuError(const RegexMatcher &matcher)
{
    return stoppedEarly(matcher, QStringLiteral("The ICU library returned an unexpected error."));
}

Error RegexError::unexpectedError(const RegexMatcher &matcher)
{
    return stoppedEarly(matcher, QStringLiteral("An unexpected error occurred."));
}

} // namespace rx
