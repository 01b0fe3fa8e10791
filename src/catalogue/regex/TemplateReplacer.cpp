#include "catalogue/regex/TemplateReplacer.h"

#include "catalogue/regex/RegexError.h"

#include <algorithm>
#include <limits>

namespace rx {

namespace {

constexpr qint64 IntMax = std::numeric_limits<int32_t>::max();
const UChar EmptyTemplate[] = {0};

} // namespace

TemplateReplacer::TemplateReplacer(RegexMatcher &matcher, const QString &replacement)
    : m_matcher(matcher), m_replacement(replacement)
{}

QString TemplateReplacer::replaceAll(qsizetype &count)
{
    const qint64 subjectLength = m_matcher.subject().size();
    const qint64 replacementLength = m_replacement.size();
    if (replacementLength >= IntMax || subjectLength / 2 + 2 * replacementLength >= IntMax)
        throw RegexFailure(Exception::RangeError,
                           QStringLiteral("Replacement string length exceeds INT_MAX."));
    // Room for every match to grow a little; one more pass when that is not enough.
    qint64 capacity =
        std::min(2 * replacementLength + subjectLength + subjectLength / 2 + 16, IntMax);
    for (;;) {
        QString output(capacity, Qt::Uninitialized);
        const Pass pass = run(output);
        if (!pass.overflow) {
            output.resize(pass.length);
            count = pass.count;
            return output;
        }
        if (pass.length + 8 > IntMax)
            throw RegexFailure(Exception::InternalInconsistency,
                               QStringLiteral("Replaced string length exceeds INT_MAX."));
        capacity = pass.length + 8;
    }
}

TemplateReplacer::Pass TemplateReplacer::run(QString &output)
{
    URegularExpression *regex = m_matcher.regex().icu();
    const UChar *replacement = m_replacement.isEmpty()
                                   ? EmptyTemplate
                                   : reinterpret_cast<const UChar *>(m_replacement.constData());
    const auto replacementLength = static_cast<int32_t>(m_replacement.size());
    UChar *destination = reinterpret_cast<UChar *>(output.data());
    auto capacity = static_cast<int32_t>(output.size());
    Pass pass;
    // ICU keeps measuring once the output is full; too small a buffer costs a pass.
    auto note = [&](int32_t appended, UErrorCode status) {
        if (status == U_BUFFER_OVERFLOW_ERROR)
            pass.overflow = true;
        else
            m_matcher.check(status);
        pass.length += appended;
    };
    m_matcher.reset();
    while (m_matcher.findNext()) {
        ++pass.count;
        UErrorCode status = U_ZERO_ERROR;
        const int32_t appended = uregex_appendReplacement(regex, replacement, replacementLength,
                                                          &destination, &capacity, &status);
        note(appended, status);
    }
    UErrorCode status = U_ZERO_ERROR;
    const int32_t appended = uregex_appendTail(regex, &destination, &capacity, &status);
    note(appended, status);
    return pass;
}

} // namespace rx
