#pragma once

#include "catalogue/regex/RegexBlocks.h"
#include "catalogue/regex/RegexOptions.h"
#include "platform/Error.h"
#include "platform/Range.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Matching, splitting, extracting and replacing with ICU regular expressions.
//
// Ranges are in UTF-16 units of the subject; WholeRange stands for all of it.
// A pattern that does not compile gives an empty result (or -1, or not found) and
// fills the error when one is given; it never raises. Bad ranges, bad captures and
// ICU failures while matching raise an Exception. Any thread may call at once.
namespace rx {

using CaptureDictionary = QHash<QString, QString>;
// Keys of a capture dictionary, each with the capture whose text it receives.
using KeysAndCaptures = QList<QPair<QString, int>>;

// The pieces between matches, each followed by its match's groups, then the text
// after the last match. Empty pieces at the end go when the last match ends the range.
std::optional<QStringList> componentsSeparatedByRegex(const QString &subject, const QString &regex,
                                                      RegexOptions options = {},
                                                      Range range = WholeRange,
                                                      Error *error = nullptr);
std::optional<QStringList> componentsSeparatedByRegex(const QString &subject, const QString &regex,
                                                      Range range);

bool isMatchedByRegex(const QString &subject, const QString &regex, RegexOptions options = {},
                      Range inRange = WholeRange, Error *error = nullptr);
bool isMatchedByRegex(const QString &subject, const QString &regex, Range inRange);

// The first match, or one capture of it; not found when nothing matches.
Range rangeOfRegex(const QString &subject, const QString &regex, RegexOptions options = {},
                   Range inRange = WholeRange, int capture = 0, Error *error = nullptr);
Range rangeOfRegex(const QString &subject, const QString &regex, int capture);
Range rangeOfRegex(const QString &subject, const QString &regex, Range inRange);

// The text of rangeOfRegex(); empty when nothing matches.
std::optional<QString> stringByMatching(const QString &subject, const QString &regex,
                                        RegexOptions options = {}, Range inRange = WholeRange,
                                        int capture = 0, Error *error = nullptr);
std::optional<QString> stringByMatching(const QString &subject, const QString &regex, int capture);
std::optional<QString> stringByMatching(const QString &subject, const QString &regex,
                                        Range inRange);

// The text of the range, every match replaced by the expanded template.
std::optional<QString>
stringByReplacingOccurrencesOfRegex(const QString &subject, const QString &regex,
                                    const QString &replacement, RegexOptions options = {},
                                    Range range = WholeRange, Error *error = nullptr);
std::optional<QString> stringByReplacingOccurrencesOfRegex(const QString &subject,
                                                           const QString &regex,
                                                           const QString &replacement, Range range);

// One capture of every match; "" where the group took no part.
std::optional<QStringList> componentsMatchedByRegex(const QString &subject, const QString &regex,
                                                    RegexOptions options = {},
                                                    Range range = WholeRange, int capture = 0,
                                                    Error *error = nullptr);
std::optional<QStringList> componentsMatchedByRegex(const QString &subject, const QString &regex,
                                                    int capture);
std::optional<QStringList> componentsMatchedByRegex(const QString &subject, const QString &regex,
                                                    Range range);

// The first match: the whole match, then every group.
std::optional<QStringList> captureComponentsMatchedByRegex(const QString &subject,
                                                           const QString &regex,
                                                           RegexOptions options = {},
                                                           Range range = WholeRange,
                                                           Error *error = nullptr);
std::optional<QStringList> captureComponentsMatchedByRegex(const QString &subject,
                                                           const QString &regex, Range range);

// Every match: the whole match, then every group.
std::optional<QList<QStringList>> arrayOfCaptureComponentsMatchedByRegex(const QString &subject,
                                                                         const QString &regex,
                                                                         RegexOptions options = {},
                                                                         Range range = WholeRange,
                                                                         Error *error = nullptr);
std::optional<QList<QStringList>>
arrayOfCaptureComponentsMatchedByRegex(const QString &subject, const QString &regex, Range range);

// Key to capture text for the first match; a key whose group took no part is left out.
std::optional<CaptureDictionary> dictionaryByMatchingRegex(const QString &subject,
                                                           const QString &regex,
                                                           const KeysAndCaptures &keysAndCaptures);
std::optional<CaptureDictionary> dictionaryByMatchingRegex(const QString &subject,
                                                           const QString &regex, Range range,
                                                           const KeysAndCaptures &keysAndCaptures);
std::optional<CaptureDictionary>
dictionaryByMatchingRegex(const QString &subject, const QString &regex, RegexOptions options,
                          Range range, Error *error, const KeysAndCaptures &keysAndCaptures);

// One such dictionary per match.
std::optional<QList<CaptureDictionary>>
arrayOfDictionariesByMatchingRegex(const QString &subject, const QString &regex,
                                   const KeysAndCaptures &keysAndCaptures);
std::optional<QList<CaptureDictionary>>
arrayOfDictionariesByMatchingRegex(const QString &subject, const QString &regex, Range range,
                                   const KeysAndCaptures &keysAndCaptures);
std::optional<QList<CaptureDictionary>>
arrayOfDictionariesByMatchingRegex(const QString &subject, const QString &regex,
                                   RegexOptions options, Range range, Error *error,
                                   const KeysAndCaptures &keysAndCaptures);

// Replaces every match in the range of the subject with the expanded template.
// Answers the number of replacements, -1 when the pattern does not compile; on any
// failure the subject is left exactly as it was.
qsizetype replaceOccurrencesOfRegex(QString &subject, const QString &regex,
                                    const QString &replacement, RegexOptions options = {},
                                    Range range = WholeRange, Error *error = nullptr);
qsizetype replaceOccurrencesOfRegex(QString &subject, const QString &regex,
                                    const QString &replacement, Range range);

// Calls the block for every match; false when the pattern does not compile.
bool enumerateStringsMatchedByRegex(const QString &subject, const QString &regex,
                                    RegexOptions options, Range inRange, Error *error,
                                    RegexEnumerationOptions enumerationOptions,
                                    const MatchBlock &block);
bool enumerateStringsMatchedByRegex(const QString &subject, const QString &regex,
                                    const MatchBlock &block);

// Calls the block for every piece that componentsSeparatedByRegex() gives; the last
// piece has its groups not found.
bool enumerateStringsSeparatedByRegex(const QString &subject, const QString &regex,
                                      RegexOptions options, Range inRange, Error *error,
                                      RegexEnumerationOptions enumerationOptions,
                                      const MatchBlock &block);
bool enumerateStringsSeparatedByRegex(const QString &subject, const QString &regex,
                                      const MatchBlock &block);

// The text of the range, every match replaced by what the block answers.
std::optional<QString> stringByReplacingOccurrencesOfRegex(
    const QString &subject, const QString &regex, RegexOptions options, Range inRange, Error *error,
    RegexEnumerationOptions enumerationOptions, const ReplaceBlock &block);
std::optional<QString> stringByReplacingOccurrencesOfRegex(const QString &subject,
                                                           const QString &regex,
                                                           const ReplaceBlock &block);

// Replaces every match in the range with what the block answers; answers the number
// of block calls, -1 when the pattern does not compile.
qsizetype replaceOccurrencesOfRegex(QString &subject, const QString &regex, RegexOptions options,
                                    Range inRange, Error *error,
                                    RegexEnumerationOptions enumerationOptions,
                                    const ReplaceBlock &block);
qsizetype replaceOccurrencesOfRegex(QString &subject, const QString &regex,
                                    const ReplaceBlock &block);

// The number of groups of the pattern; -1 when it does not compile.
qsizetype captureCountForRegex(const QString &regex, RegexOptions options = {},
                               Error *error = nullptr);
bool isRegexValid(const QString &regex, RegexOptions options = {}, Error *error = nullptr);
// Closes every compiled pattern the library keeps.
void clearStringCache();

// Makes every cached pattern let go of the subject's text, so that nothing the
// library keeps points into it.
void flushCachedRegexData(const QString &subject);

} // namespace rx
