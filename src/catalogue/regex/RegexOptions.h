#pragma once

#include "platform/Range.h"

#include <QFlags>

#include <unicode/uregex.h>

#include <limits>

namespace rx {

// Pattern options are ICU's own flags, handed to ICU unchanged.
enum class RegexOption : quint32
{
    UnixLines = UREGEX_UNIX_LINES,
    CaseInsensitive = UREGEX_CASE_INSENSITIVE,
    Comments = UREGEX_COMMENTS,
    Multiline = UREGEX_MULTILINE,
    Literal = UREGEX_LITERAL,
    DotAll = UREGEX_DOTALL,
    UnicodeWordBoundaries = UREGEX_UWORD,
    ErrorOnUnknownEscapes = UREGEX_ERROR_ON_UNKNOWN_ESCAPES,
};
Q_DECLARE_FLAGS(RegexOptions, RegexOption)

// How the block operations hand captured text to their callback.
enum class RegexEnumerationOption : quint32
{
    CapturedStringsNotRequired = 0x200,
    ReplacementRetained = 0x400,
    ReusedCapturedStrings = 0x800,
};
Q_DECLARE_FLAGS(RegexEnumerationOptions, RegexEnumerationOption)

// A range length that stands for "up to the end of the subject".
inline constexpr qsizetype WholeLength = std::numeric_limits<qsizetype>::max();
inline constexpr Range WholeRange{0, WholeLength};

} // namespace rx

Q_DECLARE_OPERATORS_FOR_FLAGS(rx::RegexOptions)
Q_DECLARE_OPERATORS_FOR_FLAGS(rx::RegexEnumerationOptions)
