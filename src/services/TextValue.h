#pragma once

#include <QString>

namespace TextValue {

// The integer a text begins with, after leading white space and an optional sign;
// 0 when it begins with none ("12abc" is 12, "abc" is 0).
qint64 intValue(const QString &text);

} // namespace TextValue
