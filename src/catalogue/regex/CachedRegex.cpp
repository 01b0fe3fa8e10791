#include "catalogue/regex/CachedRegex.h"

#include "catalogue/regex/RegexError.h"

#include <limits>

namespace rx {

static_assert(sizeof(QChar) == sizeof(UChar));

CachedRegex::CachedRegex(QString pattern, RegexOptions options, IcuRegex regex, int captureCount)
    : m_pattern(std::move(pattern)), m_options(options), m_regex(std::move(regex)),
      m_captureCount(captureCount)
{}

void CachedRegex::checkLength(const QString &pattern)
{
    if (pattern.size() >= std::numeric_limits<int32_t>::max())
        throw RegexFailure(Exception::RangeError,
                           QStringLiteral("Regex string length exceeds INT_MAX"));
}

std::unique_ptr<CachedRegex> CachedRegex::compile(const QString &pattern, RegexOptions options,
                                                  Error *error)
{
    checkLength(pattern);
    // The caller's own text is shared, so that the same string finds its entry again
    // at once; text the caller only lends is copied, so that the key never points into
    // storage the caller may free.
    QString copy = pattern;
    if (!copy.isSharedWith(pattern))
        copy = QString(pattern.constData(), pattern.size());
    UParseError parseError{-1, -1, {0}, {0}};
    UErrorCode status = U_ZERO_ERROR;
    IcuRegex regex(uregex_open(reinterpret_cast<const UChar *>(copy.constData()),
                               static_cast<int32_t>(copy.size()), options.toInt(), &parseError,
                               &status));
    int captureCount = -1;
    if (regex && U_SUCCESS(status))
        captureCount = uregex_groupCount(regex.get(), &status);
    if (!regex || U_FAILURE(status)) {
        setError(error, RegexError::compileError(copy, options, status, parseError));
        return nullptr;
    }
    return std::unique_ptr<CachedRegex>(
        new CachedRegex(std::move(copy), options, std::move(regex), captureCount));
}

std::unique_ptr<CachedRegex> CachedRegex::clone() const
{
    UErrorCode status = U_ZERO_ERROR;
    IcuRegex copy(uregex_clone(m_regex.get(), &status));
    if (!copy || U_FAILURE(status))
        throw RegexFailure::icu(m_pattern, m_options, status);
    return std::unique_ptr<CachedRegex>(
        new CachedRegex(m_pattern, m_options, std::move(copy), m_captureCount));
}

} // namespace rx
