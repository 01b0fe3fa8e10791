#pragma once

#include "catalogue/regex/RegexMatcher.h"

namespace rx {

// Replaces every match with an ICU replacement template: "$n" inserts group n,
// "${name}" a named group, a backslash takes the next character literally.
class TemplateReplacer
{
public:
    TemplateReplacer(RegexMatcher &matcher, const QString &replacement);

    // The matcher's range with every match replaced; the count of replacements
    // is stored only when the whole replacement succeeds.
    QString replaceAll(qsizetype &count);

private:
    struct Pass
    {
        qsizetype count = 0;
        qint64 length = 0;
        bool overflow = false;
    };
    Pass run(QString &output);

    RegexMatcher &m_matcher;
    const QString m_replacement;
};

} // namespace rx
