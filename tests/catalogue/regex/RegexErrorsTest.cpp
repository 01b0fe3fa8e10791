#include "catalogue/regex/QtPrinters.h"
#include "catalogue/regex/RegexAdditions.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <unicode/utypes.h>

#include <limits>

using namespace rx;

namespace {

// Runs the call and answers the exception it raised.
template <typename Call> std::optional<Exception> raised(Call &&call)
{
    try {
        call();
    } catch (const Exception &e) {
        return e;
    }
    return std::nullopt;
}

} // namespace

TEST(RegexErrors, EveryCompileErrorCarriesItsUserInfo)
{
    struct Case
    {
        QString regex;
        RegexOptions options;
        UErrorCode status;
        bool hasPosition;
    };
    const QList<Case> cases = {
        {"a(b", {}, U_REGEX_MISMATCHED_PAREN, true},
        {"*a", {}, U_REGEX_RULE_SYNTAX, true},
        {"[ab", {}, U_REGEX_MISSING_CLOSE_BRACKET, true},
        {"a{2,1}", {}, U_REGEX_MAX_LT_MIN, true},
        {"\\q", RegexOption::ErrorOnUnknownEscapes, U_REGEX_BAD_ESCAPE_SEQUENCE, true},
        {"", {}, U_ILLEGAL_ARGUMENT_ERROR, false},
        {QString(), {}, U_ILLEGAL_ARGUMENT_ERROR, false},
        {"a", RegexOptions::fromInt(0x10000000), U_REGEX_INVALID_FLAG, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.regex.toStdString());
        Error error(QStringLiteral("stale"), 1);
        EXPECT_EQ(arrayOfCaptureComponentsMatchedByRegex(QStringLiteral("ab"), c.regex, c.options,
                                                         WholeRange, &error),
                  std::nullopt);
        EXPECT_EQ(error.domain(), QStringLiteral("RXICURegexErrorDomain"));
        EXPECT_EQ(error.code(), c.status);
        const QVariantMap info = error.userInfo();
        const QString name = QString::fromLatin1(u_errorName(c.status));
        EXPECT_EQ(info.value(QStringLiteral("RXICURegexRegex")).toString(), c.regex);
        EXPECT_EQ(info.value(QStringLiteral("RXICURegexRegexOptions")).toUInt(), c.options.toInt());
        EXPECT_EQ(info.value(QStringLiteral("RXICURegexErrorCode")).toInt(), c.status);
        EXPECT_EQ(info.value(QStringLiteral("RXICURegexErrorName")).toString(), name);
        EXPECT_EQ(info.value(QStringLiteral("NSLocalizedDescription")).toString(),
                  QStringLiteral("There was an error compiling the regular expression."));
        EXPECT_EQ(info.contains(QStringLiteral("RXICURegexLine")), c.hasPosition);
        EXPECT_EQ(info.contains(QStringLiteral("RXICURegexOffset")), c.hasPosition);
        EXPECT_EQ(info.contains(QStringLiteral("RXICURegexPreContext")), c.hasPosition);
        EXPECT_EQ(info.contains(QStringLiteral("RXICURegexPostContext")), c.hasPosition);
        if (c.hasPosition) {
            EXPECT_EQ(info.value(QStringLiteral("NSLocalizedFailureReason")).toString(),
                      QStringLiteral("The error %1 occurred at line %2, column %3: %4<<HERE>>%5")
                          .arg(name)
                          .arg(info.value(QStringLiteral("RXICURegexLine")).toInt())
                          .arg(info.value(QStringLiteral("RXICURegexOffset")).toInt())
                          .arg(info.value(QStringLiteral("RXICURegexPreContext")).toString(),
                               info.value(QStringLiteral("RXICURegexPostContext")).toString()));
        } else {
            EXPECT_EQ(info.value(QStringLiteral("NSLocalizedFailureReason")).toString(),
                      QStringLiteral("The error %1 occurred.").arg(name));
        }
    }
}

TEST(RegexErrors, ParsePositionPointsAtTheFault)
{
    Error error;
    EXPECT_FALSE(isRegexValid(QStringLiteral("abc)def"), {}, &error));
    const QVariantMap info = error.userInfo();
    EXPECT_EQ(info.value(QStringLiteral("RXICURegexLine")).toInt(), 1);
    EXPECT_EQ(info.value(QStringLiteral("RXICURegexPreContext")).toString(), QStringLiteral("abc"));
    EXPECT_EQ(info.value(QStringLiteral("RXICURegexPostContext")).toString(),
              QStringLiteral(")def"));
}

TEST(RegexErrors, EveryOperationReportsACompileErrorWithoutRaising)
{
    const QString bad = QStringLiteral("(");
    const QString subject = QStringLiteral("subject");
    Error error;
    EXPECT_FALSE(isMatchedByRegex(subject, bad, {}, WholeRange, &error));
    EXPECT_FALSE(error.isNull());
    EXPECT_EQ(rangeOfRegex(subject, bad), Range::notFound());
    EXPECT_EQ(stringByMatching(subject, bad), std::nullopt);
    EXPECT_EQ(componentsSeparatedByRegex(subject, bad), std::nullopt);
    EXPECT_EQ(componentsMatchedByRegex(subject, bad), std::nullopt);
    EXPECT_EQ(captureComponentsMatchedByRegex(subject, bad), std::nullopt);
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(subject, bad, QStringLiteral("x")), std::nullopt);
    EXPECT_EQ(dictionaryByMatchingRegex(subject, bad, {{"k", 0}}), std::nullopt);
    EXPECT_EQ(arrayOfDictionariesByMatchingRegex(subject, bad, {{"k", 0}}), std::nullopt);
    QString receiver = subject;
    error = Error();
    EXPECT_EQ(replaceOccurrencesOfRegex(receiver, bad, QStringLiteral("x"), {}, WholeRange, &error),
              -1);
    EXPECT_EQ(error.code(), U_REGEX_MISMATCHED_PAREN);
    EXPECT_EQ(receiver, subject);
    EXPECT_EQ(captureCountForRegex(bad), -1);
    EXPECT_EQ(captureCountForRegex(QStringLiteral("(a)(b(c))")), 3);

    // A later successful call clears the error it is given.
    EXPECT_TRUE(isMatchedByRegex(subject, QStringLiteral("j"), {}, WholeRange, &error));
    EXPECT_TRUE(error.isNull());
}

TEST(RegexErrors, BadRangesRaiseBeforeIcuSeesThem)
{
    const QString subject = QStringLiteral("0123456789");
    EXPECT_EQ(rangeOfRegex(subject, QStringLiteral("9"), {}, Range(0, WholeLength)), Range(9, 1));
    EXPECT_EQ(rangeOfRegex(subject, QStringLiteral("9"), {}, Range(10, 0)), Range::notFound());
    const QList<Range> bad = {
        Range(5, WholeLength), Range(5, WholeLength - 2), Range(11, 0), Range(-1, 2), Range(2, -2),
        Range(9, 2),           Range(Range::NotFound, 0)};
    for (const Range &range : bad) {
        SCOPED_TRACE(range.location);
        const auto e = raised([&] { rangeOfRegex(subject, QStringLiteral("1"), {}, range); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->name(), QStringLiteral("NSRangeException"));
        EXPECT_EQ(e->reason(),
                  QStringLiteral("*** -[QString rangeOfRegex]: Range or index out of bounds."));
        QString receiver = subject;
        EXPECT_TRUE(raised([&] {
            replaceOccurrencesOfRegex(receiver, QStringLiteral("1"), QStringLiteral("x"), range);
        }));
        EXPECT_EQ(receiver, subject);
    }
    // The range is checked even when the pattern does not compile, and the error is kept.
    Error error;
    EXPECT_TRUE(
        raised([&] { isMatchedByRegex(subject, QStringLiteral("("), {}, Range(20, 1), &error); }));
    EXPECT_EQ(error.code(), U_REGEX_MISMATCHED_PAREN);
}

TEST(RegexErrors, BadCapturesAndKeysRaiseInvalidArgument)
{
    const QString subject = QStringLiteral("ab");
    const QString regex = QStringLiteral("(a)");
    const QString prefix = QStringLiteral("*** -[QString %1]: %2");
    struct Case
    {
        std::function<void()> call;
        QString reason;
    };
    const QList<Case> cases = {
        {[&] { rangeOfRegex(subject, regex, 2); },
         prefix.arg("rangeOfRegex", "The capture argument is not valid.")},
        {[&] { stringByMatching(subject, regex, -1); },
         prefix.arg("rangeOfRegex", "The capture argument is not valid.")},
        {[&] { componentsMatchedByRegex(subject, regex, 2); },
         prefix.arg("componentsMatchedByRegex", "The capture argument is not valid.")},
        {[&] {
             dictionaryByMatchingRegex(subject, regex, {{"a", 1}, {QString(), 0}});
         },
         prefix.arg("dictionaryByMatchingRegex", "The capture key (key 2 of 2) is NULL.")},
        {[&] {
             arrayOfDictionariesByMatchingRegex(subject, regex, {{"k", 5}});
         },
         prefix.arg("arrayOfDictionariesByMatchingRegex",
                    "The capture argument 5 (capture 1 of 1) for key 'k' is not valid.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        const auto e = raised(c.call);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->name(), QStringLiteral("NSInvalidArgumentException"));
        EXPECT_EQ(e->reason(), c.reason);
    }
}

TEST(RegexErrors, LengthsIcuCannotAddressRaiseBeforeAnyTextIsRead)
{
    // Strings that claim more units than ICU's 32-bit offsets reach; the library must
    // refuse them from their length alone, so their storage is never touched.
    static const QChar unit = QLatin1Char('a');
    const QString huge = QString::fromRawData(&unit, std::numeric_limits<int32_t>::max());
    const auto subject = raised([&] { isMatchedByRegex(huge, QStringLiteral("a")); });
    ASSERT_TRUE(subject);
    EXPECT_EQ(subject->name(), QStringLiteral("NSRangeException"));
    EXPECT_TRUE(subject->reason().endsWith(QStringLiteral("]: String length exceeds INT_MAX.")));
    EXPECT_TRUE(raised([&] {
        enumerateStringsMatchedByRegex(
            huge, QStringLiteral("a"),
            [](qsizetype, const QStringList *, const QList<Range> &, bool &) {});
    }));

    const auto pattern = raised([&] { captureCountForRegex(huge); });
    ASSERT_TRUE(pattern);
    EXPECT_EQ(pattern->name(), QStringLiteral("NSRangeException"));
    EXPECT_EQ(pattern->reason(),
              QStringLiteral("*** +[QString captureCountForRegex]: Regex string length exceeds "
                             "INT_MAX"));

    QString receiver = QStringLiteral("abc");
    const auto replacement =
        raised([&] { replaceOccurrencesOfRegex(receiver, QStringLiteral("b"), huge); });
    ASSERT_TRUE(replacement);
    EXPECT_EQ(replacement->name(), QStringLiteral("NSRangeException"));
    EXPECT_TRUE(replacement->reason().endsWith(
        QStringLiteral("]: Replacement string length exceeds INT_MAX.")));
    EXPECT_EQ(receiver, QStringLiteral("abc"));
}
