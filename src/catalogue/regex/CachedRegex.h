#pragma once

#include "catalogue/regex/RegexOptions.h"
#include "platform/Error.h"

#include <QString>

#include <unicode/uregex.h>

#include <memory>

namespace rx {

// One compiled pattern. Its ICU object is not thread-safe: whoever uses it holds
// the cache lock, or uses a clone of its own.
class CachedRegex
{
public:
    // Null when the pattern does not compile; the error then says why.
    static std::unique_ptr<CachedRegex> compile(const QString &pattern, RegexOptions options,
                                                Error *error);

    // Raises when ICU cannot address the pattern; its text is not read.
    static void checkLength(const QString &pattern);

    // A private copy for use without the cache lock; it shares ICU's compiled form.
    std::unique_ptr<CachedRegex> clone() const;

    // Keeps alive the text that ICU is set to, for as long as it stays set to it.
    void keepText(QString text) { m_text = std::move(text); }

    const QString &pattern() const { return m_pattern; }
    RegexOptions options() const { return m_options; }
    int captureCount() const { return m_captureCount; }
    URegularExpression *icu() const { return m_regex.get(); }

private:
    struct Closer
    {
        void operator()(URegularExpression *regex) const { uregex_close(regex); }
    };
    using IcuRegex = std::unique_ptr<URegularExpression, Closer>;

    CachedRegex(QString pattern, RegexOptions options, IcuRegex regex, int captureCount);

    QString m_pattern;
    RegexOptions m_options;
    IcuRegex m_regex;
    int m_captureCount;
    QString m_text;
};

} // namespace rx
