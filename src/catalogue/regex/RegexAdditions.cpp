#include "catalogue/regex/RegexAdditions.h"

#include "catalogue/regex/BlockEnumeration.h"
#include "catalogue/regex/RegexCore.h"
#include "catalogue/regex/RegexError.h"
#include "catalogue/regex/RegexSplitter.h"
#include "catalogue/regex/TemplateReplacer.h"

#include <limits>

namespace rx {

namespace {

constexpr qsizetype Unlimited = std::numeric_limits<qsizetype>::max();

QStringList texts(const RegexMatcher &matcher, const QList<Range> &ranges)
{
    QStringList strings;
    strings.reserve(ranges.size());
    for (const Range &range : ranges)
        strings.append(matcher.text(range));
    return strings;
}

void checkKeys(const RegexMatcher &matcher, const KeysAndCaptures &keysAndCaptures)
{
    const qsizetype count = keysAndCaptures.size();
    for (qsizetype index = 0; index < count; ++index) {
        const auto &[key, capture] = keysAndCaptures.at(index);
        if (key.isNull())
            throw RegexFailure(Exception::InvalidArgument,
                               QStringLiteral("The capture key (key %1 of %2) is NULL.")
                                   .arg(index + 1)
                                   .arg(count));
        if (capture < 0 || capture > matcher.captureCount())
            throw RegexFailure(
                Exception::InvalidArgument,
                QStringLiteral("The capture argument %1 (capture %2 of %3) for key '%4' is not "
                               "valid.")
                    .arg(capture)
                    .arg(index + 1)
                    .arg(count)
                    .arg(key));
    }
}

QList<CaptureDictionary> dictionaries(RegexMatcher &matcher, const KeysAndCaptures &keysAndCaptures,
                                      qsizetype matchLimit)
{
    checkKeys(matcher, keysAndCaptures);
    const QList<Range> ranges = matcher.matchAndGroupRanges(matchLimit);
    const qsizetype perMatch = matcher.captureCount() + 1;
    QList<CaptureDictionary> result;
    for (qsizetype first = 0; first < ranges.size(); first += perMatch) {
        CaptureDictionary dictionary;
        for (const auto &[key, capture] : keysAndCaptures) {
            const Range range = ranges.at(first + capture);
            if (!range.isNotFound())
                dictionary.insert(key, matcher.text(range));
        }
        result.append(dictionary);
    }
    return result;
}

bool enumerate(const char *function, void (BlockEnumeration::*step)(const MatchBlock &),
               const QString &subject, const QString &regex, RegexOptions options, Range range,
               Error *error, RegexEnumerationOptions enumerationOptions, const MatchBlock &block)
{
    return raisingFailures('-', function, [&] {
        BlockEnumeration enumeration(regex, options, subject, range, error, enumerationOptions,
                                     false);
        if (!enumeration.isCompiled())
            return false;
        (enumeration.*step)(block);
        return enumeration.finished();
    });
}

// A replacement cut short names its template and how many matches it replaced.
void noteReplacement(Error *error, const QString &replacement, qsizetype count)
{
    if (!error || error->code() != U_REGEX_TIME_OUT)
        return;
    QVariantMap info = error->userInfo();
    info.insert(ErrorKey::ReplacementString, replacement);
    info.insert(ErrorKey::ReplacedCount, count);
    *error = Error(error->domain(), error->code(), info);
}

} // namespace

std::optional<QStringList> componentsSeparatedByRegex(const QString &subject, const QString &regex,
                                                      RegexOptions options, Range range,
                                                      Error *error)
{
    return raisingFailures('-', "componentsSeparatedByRegex", [&] {
        return RegexCore::perform(regex, options, subject, range, error, [](RegexMatcher &matcher) {
            return texts(matcher, RegexSplitter(matcher).ranges());
        });
    });
}

std::optional<QStringList> componentsSeparatedByRegex(const QString &subject, const QString &regex,
                                                      Range range)
{
    return componentsSeparatedByRegex(subject, regex, {}, range);
}

bool isMatchedByRegex(const QString &subject, const QString &regex, RegexOptions options,
                      Range inRange, Error *error)
{
    return !rangeOfRegex(subject, regex, options, inRange, 0, error).isNotFound();
}

bool isMatchedByRegex(const QString &subject, const QString &regex, Range inRange)
{
    return isMatchedByRegex(subject, regex, {}, inRange);
}

Range rangeOfRegex(const QString &subject, const QString &regex, RegexOptions options,
                   Range inRange, int capture, Error *error)
{
    return raisingFailures('-', "rangeOfRegex", [&] {
        return RegexCore::perform(regex, options, subject, inRange, error,
                                  [capture](RegexMatcher &matcher) {
                                      RegexCore::checkCapture(matcher, capture);
                                      return matcher.findNext() ? matcher.groupRange(capture)
                                                                : Range::notFound();
                                  })
            .value_or(Range::notFound());
    });
}

Range rangeOfRegex(const QString &subject, const QString &regex, int capture)
{
    return rangeOfRegex(subject, regex, {}, WholeRange, capture);
}

Range rangeOfRegex(const QString &subject, const QString &regex, Range inRange)
{
    return rangeOfRegex(subject, regex, {}, inRange);
}

std::optional<QString> stringByMatching(const QString &subject, const QString &regex,
                                        RegexOptions options, Range inRange, int capture,
                                        Error *error)
{
    const Range found = rangeOfRegex(subject, regex, options, inRange, capture, error);
    if (found.isNotFound())
        return std::nullopt;
    return found.length == 0 ? QStringLiteral("") : subject.mid(found.location, found.length);
}

std::optional<QString> stringByMatching(const QString &subject, const QString &regex, int capture)
{
    return stringByMatching(subject, regex, {}, WholeRange, capture);
}

std::optional<QString> stringByMatching(const QString &subject, const QString &regex, Range inRange)
{
    return stringByMatching(subject, regex, {}, inRange);
}

std::optional<QString> stringByReplacingOccurrencesOfRegex(const QString &subject,
                                                           const QString &regex,
                                                           const QString &replacement,
                                                           RegexOptions options, Range range,
                                                           Error *error)
{
    qsizetype count = 0;
    std::optional<QString> result =
        raisingFailures('-', "stringByReplacingOccurrencesOfRegex", [&] {
            return RegexCore::perform(
                regex, options, subject, range, error, [&](RegexMatcher &matcher) {
                    return TemplateReplacer(matcher, replacement).replaceAll(count);
                });
        });
    noteReplacement(error, replacement, count);
    return result;
}

std::optional<QString> stringByReplacingOccurrencesOfRegex(const QString &subject,
                                                           const QString &regex,
                                                           const QString &replacement, Range range)
{
    return stringByReplacingOccurrencesOfRegex(subject, regex, replacement, {}, range);
}

std::optional<QStringList> componentsMatchedByRegex(const QString &subject, const QString &regex,
                                                    RegexOptions options, Range range, int capture,
                                                    Error *error)
{
    return raisingFailures('-', "componentsMatchedByRegex", [&] {
        return RegexCore::perform(regex, options, subject, range, error,
                                  [capture](RegexMatcher &matcher) {
                                      RegexCore::checkCapture(matcher, capture);
                                      return texts(matcher, matcher.captureRanges(capture));
                                  });
    });
}

std::optional<QStringList> componentsMatchedByRegex(const QString &subject, const QString &regex,
                                                    int capture)
{
    return componentsMatchedByRegex(subject, regex, {}, WholeRange, capture);
}

std::optional<QStringList> componentsMatchedByRegex(const QString &subject, const QString &regex,
                                                    Range range)
{
    return componentsMatchedByRegex(subject, regex, {}, range);
}

std::optional<QStringList> captureComponentsMatchedByRegex(const QString &subject,
                                                           const QString &regex,
                                                           RegexOptions options, Range range,
                                                           Error *error)
{
    return raisingFailures('-', "captureComponentsMatchedByRegex", [&] {
        return RegexCore::perform(regex, options, subject, range, error, [](RegexMatcher &matcher) {
            return texts(matcher, matcher.matchAndGroupRanges(1));
        });
    });
}

std::optional<QStringList> captureComponentsMatchedByRegex(const QString &subject,
                                                           const QString &regex, Range range)
{
    return captureComponentsMatchedByRegex(subject, regex, {}, range);
}

std::optional<QList<QStringList>> arrayOfCaptureComponentsMatchedByRegex(const QString &subject,
                                                                         const QString &regex,
                                                                         RegexOptions options,
                                                                         Range range, Error *error)
{
    return raisingFailures('-', "arrayOfCaptureComponentsMatchedByRegex", [&] {
        return RegexCore::perform(regex, options, subject, range, error, [](RegexMatcher &matcher) {
            const QList<Range> ranges = matcher.matchAndGroupRanges(Unlimited);
            const qsizetype perMatch = matcher.captureCount() + 1;
            QList<QStringList> matches;
            matches.reserve(ranges.size() / perMatch);
            for (qsizetype first = 0; first < ranges.size(); first += perMatch)
                matches.append(texts(matcher, ranges.sliced(first, perMatch)));
            return matches;
        });
    });
}

std::optional<QList<QStringList>>
arrayOfCaptureComponentsMatchedByRegex(const QString &subject, const QString &regex, Range range)
{
    return arrayOfCaptureComponentsMatchedByRegex(subject, regex, {}, range);
}

std::optional<CaptureDictionary> dictionaryByMatchingRegex(const QString &subject,
                                                           const QString &regex,
                                                           const KeysAndCaptures &keysAndCaptures)
{
    return dictionaryByMatchingRegex(subject, regex, {}, WholeRange, nullptr, keysAndCaptures);
}

std::optional<CaptureDictionary> dictionaryByMatchingRegex(const QString &subject,
                                                           const QString &regex, Range range,
                                                           const KeysAndCaptures &keysAndCaptures)
{
    return dictionaryByMatchingRegex(subject, regex, {}, range, nullptr, keysAndCaptures);
}

std::optional<CaptureDictionary>
dictionaryByMatchingRegex(const QString &subject, const QString &regex, RegexOptions options,
                          Range range, Error *error, const KeysAndCaptures &keysAndCaptures)
{
    return raisingFailures('-', "dictionaryByMatchingRegex", [&] {
        return RegexCore::perform(
            regex, options, subject, range, error, [&keysAndCaptures](RegexMatcher &matcher) {
                const QList<CaptureDictionary> first = dictionaries(matcher, keysAndCaptures, 1);
                return first.value(0);
            });
    });
}

std::optional<QList<CaptureDictionary>>
arrayOfDictionariesByMatchingRegex(const QString &subject, const QString &regex,
                                   const KeysAndCaptures &keysAndCaptures)
{
    return arrayOfDictionariesByMatchingRegex(subject, regex, {}, WholeRange, nullptr,
                                              keysAndCaptures);
}

std::optional<QList<CaptureDictionary>>
arrayOfDictionariesByMatchingRegex(const QString &subject, const QString &regex, Range range,
                                   const KeysAndCaptures &keysAndCaptures)
{
    return arrayOfDictionariesByMatchingRegex(subject, regex, {}, range, nullptr, keysAndCaptures);
}

std::optional<QList<CaptureDictionary>>
arrayOfDictionariesByMatchingRegex(const QString &subject, const QString &regex,
                                   RegexOptions options, Range range, Error *error,
                                   const KeysAndCaptures &keysAndCaptures)
{
    return raisingFailures('-', "arrayOfDictionariesByMatchingRegex", [&] {
        return RegexCore::perform(regex, options, subject, range, error,
                                  [&keysAndCaptures](RegexMatcher &matcher) {
                                      return dictionaries(matcher, keysAndCaptures, Unlimited);
                                  });
    });
}

qsizetype replaceOccurrencesOfRegex(QString &subject, const QString &regex,
                                    const QString &replacement, RegexOptions options, Range range,
                                    Error *error)
{
    struct Replaced
    {
        QString text;
        Range range;
        qsizetype count = 0;
        bool whole = true;
    };
    const std::optional<Replaced> replaced = raisingFailures('-', "replaceOccurrencesOfRegex", [&] {
        return RegexCore::perform(
            regex, options, subject, range, error, [&replacement](RegexMatcher &matcher) {
                Replaced result;
                result.text = TemplateReplacer(matcher, replacement).replaceAll(result.count);
                result.range = matcher.range();
                result.whole = !matcher.ranOutOfTime();
                return result;
            });
    });
    if (!replaced)
        return -1;
    noteReplacement(error, replacement, replaced->count);
    // Part of a replacement is none: the receiver keeps its text whole.
    if (!replaced->whole)
        return -1;
    // Applied only now, once the library no longer holds a copy of the subject.
    if (replaced->count > 0)
        subject.replace(replaced->range.location, replaced->range.length, replaced->text);
    return replaced->count;
}

qsizetype replaceOccurrencesOfRegex(QString &subject, const QString &regex,
                                    const QString &replacement, Range range)
{
    return replaceOccurrencesOfRegex(subject, regex, replacement, {}, range);
}

bool enumerateStringsMatchedByRegex(const QString &subject, const QString &regex,
                                    RegexOptions options, Range inRange, Error *error,
                                    RegexEnumerationOptions enumerationOptions,
                                    const MatchBlock &block)
{
    return enumerate("enumerateStringsMatchedByRegex", &BlockEnumeration::enumerateMatches, subject,
                     regex, options, inRange, error, enumerationOptions, block);
}

bool enumerateStringsMatchedByRegex(const QString &subject, const QString &regex,
                                    const MatchBlock &block)
{
    return enumerateStringsMatchedByRegex(subject, regex, {}, WholeRange, nullptr, {}, block);
}

bool enumerateStringsSeparatedByRegex(const QString &subject, const QString &regex,
                                      RegexOptions options, Range inRange, Error *error,
                                      RegexEnumerationOptions enumerationOptions,
                                      const MatchBlock &block)
{
    return enumerate("enumerateStringsSeparatedByRegex", &BlockEnumeration::enumeratePieces,
                     subject, regex, options, inRange, error, enumerationOptions, block);
}

bool enumerateStringsSeparatedByRegex(const QString &subject, const QString &regex,
                                      const MatchBlock &block)
{
    return enumerateStringsSeparatedByRegex(subject, regex, {}, WholeRange, nullptr, {}, block);
}

std::optional<QString> stringByReplacingOccurrencesOfRegex(
    const QString &subject, const QString &regex, RegexOptions options, Range inRange, Error *error,
    RegexEnumerationOptions enumerationOptions, const ReplaceBlock &block)
{
    return raisingFailures('-', "stringByReplacingOccurrencesOfRegex", [&] {
        BlockEnumeration enumeration(regex, options, subject, inRange, error, enumerationOptions,
                                     true);
        if (!enumeration.isCompiled())
            return std::optional<QString>();
        qsizetype count = 0;
        const QString result = enumeration.replace(block, count);
        return enumeration.finished(count, &result) ? std::optional(result) : std::nullopt;
    });
}

std::optional<QString> stringByReplacingOccurrencesOfRegex(const QString &subject,
                                                           const QString &regex,
                                                           const ReplaceBlock &block)
{
    return stringByReplacingOccurrencesOfRegex(subject, regex, {}, WholeRange, nullptr, {}, block);
}

qsizetype replaceOccurrencesOfRegex(QString &subject, const QString &regex, RegexOptions options,
                                    Range inRange, Error *error,
                                    RegexEnumerationOptions enumerationOptions,
                                    const ReplaceBlock &block)
{
    qsizetype count = 0;
    Range replaced;
    const std::optional<QString> result =
        raisingFailures('-', "replaceOccurrencesOfRegex", [&]() -> std::optional<QString> {
            BlockEnumeration enumeration(regex, options, subject, inRange, error,
                                         enumerationOptions, true);
            if (!enumeration.isCompiled())
                return std::nullopt;
            replaced = enumeration.range();
            const QString result = enumeration.replace(block, count);
            return enumeration.finished(count, &result) ? std::optional(result) : std::nullopt;
        });
    if (!result)
        return -1;
    if (count > 0)
        subject.replace(replaced.location, replaced.length, *result);
    return count;
}

qsizetype replaceOccurrencesOfRegex(QString &subject, const QString &regex,
                                    const ReplaceBlock &block)
{
    return replaceOccurrencesOfRegex(subject, regex, {}, WholeRange, nullptr, {}, block);
}

qsizetype captureCountForRegex(const QString &regex, RegexOptions options, Error *error)
{
    setError(error, Error());
    return raisingFailures('+', "captureCountForRegex", [&] {
        return RegexCache::shared().withRegex(regex, options, error,
                                              [](CachedRegex *compiled) -> qsizetype {
                                                  return compiled ? compiled->captureCount() : -1;
                                              });
    });
}

bool isRegexValid(const QString &regex, RegexOptions options, Error *error)
{
    return captureCountForRegex(regex, options, error) >= 0;
}

void clearStringCache()
{
    RegexCache::shared().clear();
}

void flushCachedRegexData(const QString &subject)
{
    RegexCache::shared().detach(subject);
}

} // namespace rx
