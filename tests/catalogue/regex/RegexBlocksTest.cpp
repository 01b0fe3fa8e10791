#include "catalogue/regex/QtPrinters.h"
#include "catalogue/regex/RegexAdditions.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <unicode/utypes.h>

using namespace rx;

namespace {

struct Call
{
    qsizetype count;
    std::optional<QStringList> strings;
    QList<Range> ranges;
};

MatchBlock recorder(QList<Call> &calls, int stopAfter = -1)
{
    return [&calls, stopAfter](qsizetype count, const QStringList *strings,
                               const QList<Range> &ranges, bool &stop) {
        calls.append({count, strings ? std::optional(*strings) : std::nullopt, ranges});
        stop = calls.size() == stopAfter;
    };
}

} // namespace

TEST(RegexBlocks, MatchEnumerationHandsOverEveryMatchWithItsGroups)
{
    const QString subject = QStringLiteral("a1 b c3");
    const QString regex = QStringLiteral("([a-z])(\\d)?");
    QList<Call> calls;
    EXPECT_TRUE(enumerateStringsMatchedByRegex(subject, regex, recorder(calls)));
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0].count, 3);
    EXPECT_EQ(calls[0].strings, QStringList({"a1", "a", "1"}));
    EXPECT_EQ(calls[1].strings, QStringList({"b", "b", ""}));
    EXPECT_EQ(calls[1].ranges, QList<Range>({Range(3, 1), Range(3, 1), Range::notFound()}));

    calls.clear();
    EXPECT_TRUE(enumerateStringsMatchedByRegex(subject, regex, {}, Range(3, 4), nullptr,
                                               RegexEnumerationOption::CapturedStringsNotRequired,
                                               recorder(calls, 1)));
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].strings, std::nullopt);
    EXPECT_EQ(calls[0].ranges.first(), Range(3, 1));

    QStringList seen;
    enumerateStringsMatchedByRegex(subject, regex, {}, WholeRange, nullptr,
                                   RegexEnumerationOption::ReusedCapturedStrings,
                                   [&](qsizetype, const QStringList *strings, const QList<Range> &,
                                       bool &) { seen.append(strings->first()); });
    EXPECT_EQ(seen, QStringList({"a1", "b", "c3"}));
}

TEST(RegexBlocks, SplitEnumerationHandsOverThePieces)
{
    QList<Call> calls;
    EXPECT_TRUE(enumerateStringsSeparatedByRegex(QStringLiteral("a,b;c,,"),
                                                 QStringLiteral("([,;])"), recorder(calls)));
    // Groups count as pieces: the last empty piece stays because its group is not empty.
    ASSERT_EQ(calls.size(), 4);
    EXPECT_EQ(calls[0].strings, QStringList({"a", ","}));
    EXPECT_EQ(calls[1].strings, QStringList({"b", ";"}));
    EXPECT_EQ(calls[3].strings, QStringList({"", ","}));

    calls.clear();
    enumerateStringsSeparatedByRegex(QStringLiteral("a,b;c,,"), QStringLiteral("[,;]"),
                                     recorder(calls));
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[2].strings, QStringList({"c"}));

    calls.clear();
    enumerateStringsSeparatedByRegex(QStringLiteral("a,b"), QStringLiteral("(,)"), recorder(calls));
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[1].strings, QStringList({"b", ""}));
    EXPECT_EQ(calls[1].ranges, QList<Range>({Range(2, 1), Range::notFound()}));
}

TEST(RegexBlocks, ReplaceBlockRewritesDeletesAndStops)
{
    const QString subject = QStringLiteral("x1y22z333");
    const auto doubled = [](qsizetype, const QStringList *strings, const QList<Range> &,
                            bool &) -> std::optional<QString> {
        if (strings->first().size() == 2)
            return std::nullopt;
        return strings->first() + strings->first();
    };
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("\\d+"), doubled),
              QStringLiteral("x11yz333333"));
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("q"), doubled), subject);

    QString receiver = subject;
    int calls = 0;
    EXPECT_EQ(
        replaceOccurrencesOfRegex(receiver, QStringLiteral("\\d"), {}, Range(1, 5), nullptr, {},
                                  [&](qsizetype, const QStringList *, const QList<Range> &ranges,
                                      bool &stop) -> std::optional<QString> {
                                      stop = ++calls == 2;
                                      return QString::number(ranges.first().location);
                                  }),
        2);
    EXPECT_EQ(receiver, QStringLiteral("x1y32z333"));
}

TEST(RegexBlocks, BlocksMayCallTheLibraryAgainWithTheSamePattern)
{
    const QString regex = QStringLiteral("(\\w)\\w*");
    QString receiver = QStringLiteral("alpha beta");
    EXPECT_EQ(replaceOccurrencesOfRegex(
                  receiver, regex,
                  [&](qsizetype, const QStringList *strings, const QList<Range> &,
                      bool &) -> std::optional<QString> {
                      QString word = strings->first();
                      replaceOccurrencesOfRegex(word, regex, QStringLiteral("<$1>"));
                      return word;
                  }),
              2);
    EXPECT_EQ(receiver, QStringLiteral("<a> <b>"));
}

TEST(RegexBlocks, AThrowingBlockLeavesTheReceiverAndTheLibraryIntact)
{
    QString receiver = QStringLiteral("abc");
    EXPECT_THROW(replaceOccurrencesOfRegex(receiver, QStringLiteral("b"),
                                           [](qsizetype, const QStringList *, const QList<Range> &,
                                              bool &) -> std::optional<QString> {
                                               throw std::runtime_error("block failed");
                                           }),
                 std::runtime_error);
    EXPECT_EQ(receiver, QStringLiteral("abc"));
    EXPECT_EQ(replaceOccurrencesOfRegex(receiver, QStringLiteral("b"), QStringLiteral("B")), 1);
    EXPECT_EQ(receiver, QStringLiteral("aBc"));
}

TEST(RegexBlocks, InvalidOptionsRangesAndPatterns)
{
    const QString subject = QStringLiteral("abc");
    const MatchBlock never = [](qsizetype, const QStringList *, const QList<Range> &, bool &) {
        ADD_FAILURE() << "block called";
    };
    const QList<RegexEnumerationOptions> invalid = {
        RegexEnumerationOption::CapturedStringsNotRequired |
            RegexEnumerationOption::ReusedCapturedStrings,
        RegexEnumerationOption::ReplacementRetained, RegexEnumerationOptions::fromInt(0x1000)};
    for (const RegexEnumerationOptions options : invalid) {
        try {
            enumerateStringsMatchedByRegex(subject, QStringLiteral("b"), {}, WholeRange, nullptr,
                                           options, never);
            ADD_FAILURE() << "nothing raised for " << options.toInt();
        } catch (const Exception &e) {
            EXPECT_EQ(e.name(), QStringLiteral("NSInvalidArgumentException"));
            EXPECT_EQ(e.reason(), QStringLiteral("*** -[QString enumerateStringsMatchedByRegex]: "
                                                 "The RXRegexEnumerationOptions argument is not "
                                                 "valid."));
        }
    }
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(
                  subject, QStringLiteral("b"), {}, WholeRange, nullptr,
                  RegexEnumerationOption::ReplacementRetained,
                  [](qsizetype, const QStringList *, const QList<Range> &, bool &) {
                      return std::optional(QStringLiteral("B"));
                  }),
              QStringLiteral("aBc"));
    EXPECT_THROW(enumerateStringsSeparatedByRegex(subject, QStringLiteral("b"), {}, Range(2, 2),
                                                  nullptr, {}, never),
                 Exception);

    Error error;
    EXPECT_FALSE(enumerateStringsMatchedByRegex(subject, QStringLiteral("("), {}, WholeRange,
                                                &error, {}, never));
    EXPECT_EQ(error.domain(), QStringLiteral("RXICURegexErrorDomain"));
    QString receiver = subject;
    EXPECT_EQ(replaceOccurrencesOfRegex(receiver, QStringLiteral("["),
                                        [](qsizetype, const QStringList *, const QList<Range> &,
                                           bool &) { return std::optional(QString()); }),
              -1);
    EXPECT_EQ(receiver, subject);
}

TEST(RegexBlocks, AnEnumerationThatRunsOutOfTimeFailsWithAnUnexpectedError)
{
    const QString runaway = QStringLiteral("(a+)+b|c");
    const QString text = QStringLiteral("c") + QString(40, QLatin1Char('a')) + QStringLiteral("c");
    QList<Call> calls;
    Error error;
    EXPECT_FALSE(enumerateStringsMatchedByRegex(text, runaway, {}, WholeRange, &error,
                                                RegexEnumerationOption::CapturedStringsNotRequired,
                                                recorder(calls)));
    EXPECT_EQ(calls.size(), 1);
    EXPECT_EQ(error.code(), U_REGEX_TIME_OUT);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("An unexpected error occurred."));
    EXPECT_EQ(error.userInfo().value(QStringLiteral("RXICURegexEnumerationOptions")), 0x200);

    QString subject = text;
    const ReplaceBlock dash = [](qsizetype, const QStringList *, const QList<Range> &, bool &) {
        return std::optional<QString>(QStringLiteral("-"));
    };
    EXPECT_EQ(replaceOccurrencesOfRegex(subject, runaway, {}, WholeRange, &error, {}, dash), -1);
    EXPECT_EQ(subject, text);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("An unexpected error occurred."));
    EXPECT_EQ(error.userInfo().value(QStringLiteral("RXICURegexReplacedCount")), 1);
    EXPECT_EQ(error.userInfo().value(QStringLiteral("RXICURegexReplacedString")),
              QStringLiteral("-") + text.mid(1));
    EXPECT_FALSE(
        stringByReplacingOccurrencesOfRegex(text, runaway, {}, WholeRange, &error, {}, dash));

    // An enumeration that reaches the end reports no error.
    EXPECT_EQ(
        replaceOccurrencesOfRegex(subject, QStringLiteral("c"), {}, WholeRange, &error, {}, dash),
        2);
    EXPECT_TRUE(error.isNull());
}
