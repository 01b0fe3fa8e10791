#pragma once

#include "platform/Range.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace rx {

// Called for every match (or piece): the count of entries, their strings (null when
// not asked for), their ranges, and a flag that ends the enumeration after this call.
// Entry 0 is the whole match or piece, entries 1..n the groups.
using MatchBlock = std::function<void(qsizetype captureCount, const QStringList *capturedStrings,
                                      const QList<Range> &capturedRanges, bool &stop)>;

// The same, answering the text that takes the match's place; empty deletes it.
using ReplaceBlock =
    std::function<std::optional<QString>(qsizetype captureCount, const QStringList *capturedStrings,
                                         const QList<Range> &capturedRanges, bool &stop)>;

} // namespace rx
