#include "catalogue/regex/QtPrinters.h"
#include "catalogue/regex/RegexAdditions.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <unicode/utypes.h>

using namespace rx;

namespace {

const QString Smile = QStringLiteral("\U0001F600");

} // namespace

TEST(RegexMatching, CaptureComponentsKeepOneEntryPerGroupEvenWhenUnmatched)
{
    const auto matches =
        arrayOfCaptureComponentsMatchedByRegex(QStringLiteral("Show.S01E02.720p and Show.S01E03"),
                                               QStringLiteral("S(\\d+)E(\\d+)(\\.720p)?"));
    ASSERT_TRUE(matches);
    ASSERT_EQ(matches->size(), 2);
    EXPECT_EQ(matches->at(0), QStringList({"S01E02.720p", "01", "02", ".720p"}));
    EXPECT_EQ(matches->at(1), QStringList({"S01E03", "01", "03", ""}));

    const auto none =
        arrayOfCaptureComponentsMatchedByRegex(QStringLiteral("nothing"), QStringLiteral("(\\d)"));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->isEmpty());
}

TEST(RegexMatching, CaseFoldingTakesMatchLengthsFromIcu)
{
    EXPECT_EQ(rangeOfRegex(QStringLiteral("x STRASSE"), QStringLiteral("straße"),
                           RegexOption::CaseInsensitive),
              Range(2, 7));
    EXPECT_FALSE(isMatchedByRegex(QStringLiteral("STRASSE"), QStringLiteral("straße")));
    const auto parts = arrayOfCaptureComponentsMatchedByRegex(QStringLiteral("The.Wire.s02e11"),
                                                              QStringLiteral("S(\\d+)E(\\d+)"),
                                                              RegexOption::CaseInsensitive);
    ASSERT_TRUE(parts);
    EXPECT_EQ(*parts, QList<QStringList>({{"s02e11", "02", "11"}}));
}

TEST(RegexMatching, EmptyMatchesNeverSplitASurrogatePair)
{
    const QString subject = Smile + QStringLiteral("a") + Smile;
    EXPECT_EQ(
        stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("x*"), QStringLiteral("-")),
        QStringLiteral("-") + Smile + QStringLiteral("-a-") + Smile + QStringLiteral("-"));
    QString inPlace = subject;
    EXPECT_EQ(replaceOccurrencesOfRegex(inPlace, QStringLiteral("x*"), QStringLiteral("|")), 4);
    EXPECT_EQ(inPlace,
              QStringLiteral("|") + Smile + QStringLiteral("|a|") + Smile + QStringLiteral("|"));
    EXPECT_EQ(componentsSeparatedByRegex(subject, QStringLiteral("x*")),
              QStringList({Smile, QStringLiteral("a"), Smile}));
    const auto empties = arrayOfCaptureComponentsMatchedByRegex(subject, QStringLiteral("x*"));
    ASSERT_TRUE(empties);
    EXPECT_EQ(empties->size(), 4);
}

TEST(RegexMatching, IcuSeesOnlyTheRequestedRange)
{
    const QString subject = QStringLiteral("abc abc abc");
    EXPECT_EQ(rangeOfRegex(subject, QStringLiteral("^abc$"), {}, Range(4, 3)), Range(4, 3));
    EXPECT_EQ(rangeOfRegex(subject, QStringLiteral("(?<=c )abc"), {}, Range(4, 7)), Range(8, 3));
    EXPECT_FALSE(isMatchedByRegex(subject, QStringLiteral("c a"), Range(0, 4)));
    EXPECT_EQ(rangeOfRegex(subject, QStringLiteral("b(c)"), {}, Range(5, 6), 1), Range(6, 1));
    EXPECT_EQ(rangeOfRegex(subject, QStringLiteral("b(x)?"), {}, WholeRange, 1), Range::notFound());
    EXPECT_EQ(stringByMatching(subject, QStringLiteral("b(c)"), Range(5, 6)), QStringLiteral("bc"));
    EXPECT_EQ(stringByMatching(subject, QStringLiteral("x")), std::nullopt);
    EXPECT_EQ(stringByMatching(subject, QStringLiteral("a(x*)"), 1), QStringLiteral(""));
}

TEST(RegexMatching, ReplacingChangesOnlyTheSearchedRange)
{
    QString subject = QStringLiteral("aaa|aaa|aaa");
    EXPECT_EQ(replaceOccurrencesOfRegex(subject, QStringLiteral("^a|a$"), QStringLiteral("b"),
                                        Range(4, 3)),
              2);
    EXPECT_EQ(subject, QStringLiteral("aaa|bab|aaa"));
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("a"), QStringLiteral("c"),
                                                  Range(4, 3)),
              QStringLiteral("bcb"));
    EXPECT_EQ(replaceOccurrencesOfRegex(subject, QStringLiteral("z"), QStringLiteral("c")), 0);
    EXPECT_EQ(subject, QStringLiteral("aaa|bab|aaa"));
    EXPECT_EQ(
        stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("z"), QStringLiteral("c")),
        subject);
}

TEST(RegexMatching, TemplatesAreIcus)
{
    const QString subject = QStringLiteral("Movie (2004)");
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("\\((\\d+)\\)"),
                                                  QStringLiteral("[$1]")),
              QStringLiteral("Movie [2004]"));
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("\\((\\d+)\\)"),
                                                  QStringLiteral("\\$1")),
              QStringLiteral("Movie $1"));
    EXPECT_EQ(stringByReplacingOccurrencesOfRegex(subject, QStringLiteral("(?<year>\\d+)"),
                                                  QStringLiteral("${year}0")),
              QStringLiteral("Movie (20040)"));
    // The subject may serve as its own template.
    QString self = QStringLiteral("ab");
    EXPECT_EQ(replaceOccurrencesOfRegex(self, QStringLiteral("b"), self), 1);
    EXPECT_EQ(self, QStringLiteral("aab"));
}

TEST(RegexMatching, ReplacementOutputMuchLargerThanTheInput)
{
    const QString longTemplate(300, QLatin1Char('x'));
    QString subject = QStringLiteral("-") + QString(2000, QLatin1Char('a')) + QStringLiteral("-");
    EXPECT_EQ(replaceOccurrencesOfRegex(subject, QStringLiteral("a"), longTemplate + "$0"), 2000);
    ASSERT_EQ(subject.size(), 2 + 2000 * 301);
    EXPECT_TRUE(subject.startsWith(QStringLiteral("-") + longTemplate + QStringLiteral("a") +
                                   longTemplate));
    EXPECT_TRUE(subject.endsWith(longTemplate + QStringLiteral("a-")));
    EXPECT_EQ(subject.count(QLatin1Char('a')), 2000);
}

TEST(RegexMatching, IcuFailuresRaiseAndLeaveTheReceiverUntouched)
{
    struct Case
    {
        QString regex;
        QString replacement;
        QString subject;
        QString reason;
    };
    const QList<Case> cases = {
        {"(a)", "$2", "xax", "ICU regular expression error #8, U_INDEX_OUTOFBOUNDS_ERROR."},
        {"(a)", "$x", "xax",
         "ICU regular expression error #66325, U_REGEX_INVALID_CAPTURE_GROUP_NAME."},
        {"(?:a|b)*c", "-", QString(2000000, QLatin1Char('a')),
         "ICU regular expression error #66321, U_REGEX_STACK_OVERFLOW."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        QString subject = c.subject;
        try {
            replaceOccurrencesOfRegex(subject, c.regex, c.replacement);
            ADD_FAILURE() << "nothing raised";
        } catch (const Exception &e) {
            EXPECT_EQ(e.name(), QStringLiteral("RXICURegexException"));
            EXPECT_EQ(e.reason(),
                      QStringLiteral("*** -[QString replaceOccurrencesOfRegex]: ") + c.reason);
            EXPECT_EQ(e.userInfo().value(QStringLiteral("RXICURegexRegex")), c.regex);
        }
        EXPECT_EQ(subject, c.subject);
    }
}

TEST(RegexMatching, RunawayBacktrackingIsCutShortAsNoMatchAndSaysSo)
{
    // Exponential in the run of "a": without a limit this never ends.
    const QString runaway = QStringLiteral("(a+)+b");
    const QString text = QString(40, QLatin1Char('a')) + QStringLiteral("c");
    Error error;
    EXPECT_FALSE(isMatchedByRegex(text, runaway, {}, WholeRange, &error));
    EXPECT_EQ(error.domain(), QStringLiteral("RXICURegexErrorDomain"));
    EXPECT_EQ(error.code(), U_REGEX_TIME_OUT);
    EXPECT_EQ(error.localizedDescription(),
              QStringLiteral("The ICU library returned an unexpected error."));
    EXPECT_EQ(error.userInfo().value(QStringLiteral("RXICURegexRegex")), runaway);
    EXPECT_EQ(error.userInfo().value(QStringLiteral("RXICURegexSubjectString")), text);

    // A replacement in place that runs out of time fails whole, after any number of matches.
    const QString partly = QStringLiteral("c") + text;
    for (const QString &original : {text, partly}) {
        QString subject = original;
        EXPECT_EQ(replaceOccurrencesOfRegex(subject, runaway + QStringLiteral("|c"),
                                            QStringLiteral("-"), {}, WholeRange, &error),
                  -1);
        EXPECT_EQ(subject, original);
        EXPECT_EQ(error.code(), U_REGEX_TIME_OUT);
        EXPECT_EQ(error.userInfo().value(QStringLiteral("RXICURegexReplacementString")),
                  QStringLiteral("-"));
        EXPECT_EQ(error.userInfo().value(QStringLiteral("RXICURegexReplacedCount")),
                  original == partly ? 1 : 0);
    }
    const auto matches = arrayOfCaptureComponentsMatchedByRegex(text, runaway);
    ASSERT_TRUE(matches);
    EXPECT_TRUE(matches->isEmpty());

    // The allowance grows with the text: a linear pattern over a long text finds every
    // match and reports nothing.
    QString longText = QString(2000000, QLatin1Char('y'));
    EXPECT_EQ(replaceOccurrencesOfRegex(longText, QStringLiteral("[a-z](?!x)"), QStringLiteral("z"),
                                        {}, WholeRange, &error),
              2000000);
    EXPECT_TRUE(error.isNull());
    EXPECT_EQ(longText, QString(2000000, QLatin1Char('z')));
}

TEST(RegexMatching, SplitKeepsGroupsAndDropsTrailingEmptyPieces)
{
    EXPECT_EQ(componentsSeparatedByRegex(QStringLiteral("a, b,,c"), QStringLiteral(",\\s*")),
              QStringList({"a", "b", "", "c"}));
    EXPECT_EQ(componentsSeparatedByRegex(QStringLiteral("a1b2"), QStringLiteral("(\\d)")),
              QStringList({"a", "1", "b", "2"}));
    EXPECT_EQ(componentsSeparatedByRegex(QStringLiteral("a,b,,"), QStringLiteral(",")),
              QStringList({"a", "b"}));
    EXPECT_EQ(
        componentsSeparatedByRegex(QStringLiteral("a,b,,x"), QStringLiteral(","), Range(0, 5)),
        QStringList({"a", "b"}));
    EXPECT_EQ(componentsSeparatedByRegex(QStringLiteral("abc"), QStringLiteral("z")),
              QStringList({"abc"}));
    EXPECT_EQ(
        componentsSeparatedByRegex(QStringLiteral("x abc y"), QStringLiteral("z"), Range(2, 3)),
        QStringList({"abc"}));
    EXPECT_EQ(componentsSeparatedByRegex(QStringLiteral(","), QStringLiteral(",")), QStringList());
}

TEST(RegexMatching, CapturesAndDictionaries)
{
    const QString subject = QStringLiteral("k1=v1; k2=; k3=v3");
    const QString pair = QStringLiteral("(\\w+)=(\\w+)?");
    EXPECT_EQ(componentsMatchedByRegex(subject, pair, 2), QStringList({"v1", "", "v3"}));
    EXPECT_EQ(componentsMatchedByRegex(subject, pair, Range(4, 13)), QStringList({"k2=", "k3=v3"}));
    EXPECT_EQ(captureComponentsMatchedByRegex(subject, pair), QStringList({"k1=v1", "k1", "v1"}));
    EXPECT_EQ(captureComponentsMatchedByRegex(subject, QStringLiteral("z")), QStringList());

    const KeysAndCaptures keys = {{"key", 1}, {"value", 2}};
    EXPECT_EQ(dictionaryByMatchingRegex(subject, pair, keys),
              CaptureDictionary({{"key", "k1"}, {"value", "v1"}}));
    // Keys compare by value: an equal key made elsewhere finds its entry.
    const auto second = dictionaryByMatchingRegex(subject, pair, Range(7, 4), keys);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->value(QString::fromUtf8("key")), QStringLiteral("k2"));
    EXPECT_FALSE(second->contains(QStringLiteral("value")));
    EXPECT_EQ(dictionaryByMatchingRegex(subject, QStringLiteral("(z)"), {{"z", 1}}),
              CaptureDictionary());
    const auto all = arrayOfDictionariesByMatchingRegex(subject, pair, keys);
    ASSERT_TRUE(all);
    ASSERT_EQ(all->size(), 3);
    EXPECT_EQ(all->at(2), CaptureDictionary({{"key", "k3"}, {"value", "v3"}}));
    EXPECT_EQ(arrayOfDictionariesByMatchingRegex(subject, QStringLiteral("(z)"), {{"z", 1}}),
              QList<CaptureDictionary>());
}

TEST(RegexMatching, ManyMatchesAreAllReturnedInOrder)
{
    QString subject;
    for (int i = 0; i < 600; ++i)
        subject += QStringLiteral("<%1,%2,%3>").arg(i).arg(i + 1).arg(i + 2);
    const auto matches =
        arrayOfCaptureComponentsMatchedByRegex(subject, QStringLiteral("<(\\d+),(\\d+),(\\d+)>"));
    ASSERT_TRUE(matches);
    ASSERT_EQ(matches->size(), 600);
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(matches->at(i).at(3), QString::number(i + 2));
}
