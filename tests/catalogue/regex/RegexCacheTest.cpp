#include "catalogue/regex/RegexCache.h"
#include "catalogue/regex/RegexAdditions.h"

#include <gtest/gtest.h>

using namespace rx;

namespace {

bool compiles(RegexCache &cache, const QString &pattern, RegexOptions options = {})
{
    return cache.withRegex(pattern, options, nullptr,
                           [](CachedRegex *regex) { return regex != nullptr; });
}

} // namespace

TEST(RegexCache, EvictsTheLeastRecentlyUsedPattern)
{
    RegexCache cache(3);
    for (const char *pattern : {"a", "b", "c"})
        ASSERT_TRUE(compiles(cache, QString::fromLatin1(pattern)));
    EXPECT_EQ(cache.compilations(), 3);
    // The same text in another string object, and the same text with other options.
    EXPECT_TRUE(compiles(cache, QString::fromUtf8("a")));
    EXPECT_EQ(cache.compilations(), 3);
    EXPECT_TRUE(compiles(cache, QStringLiteral("a"), RegexOption::CaseInsensitive));
    EXPECT_EQ(cache.compilations(), 4);
    // "b" was the least recently used; "c" and "a" stayed.
    EXPECT_TRUE(compiles(cache, QStringLiteral("c")));
    EXPECT_TRUE(compiles(cache, QStringLiteral("a")));
    EXPECT_EQ(cache.compilations(), 4);
    EXPECT_TRUE(compiles(cache, QStringLiteral("b")));
    EXPECT_EQ(cache.compilations(), 5);
}

TEST(RegexCache, AStringChangedAfterItsLookupIsLookedUpByItsNewText)
{
    RegexCache cache(3);
    QString pattern = QString::fromLatin1("a+");
    ASSERT_TRUE(compiles(cache, pattern));
    pattern[0] = QLatin1Char('(');
    EXPECT_FALSE(compiles(cache, pattern)) << "the entry of \"a+\" answered for \"(+\"";
    pattern = QString::fromLatin1("b+");
    EXPECT_TRUE(cache.withRegex(pattern, {}, nullptr, [](CachedRegex *regex) {
        return regex && regex->pattern() == QLatin1String("b+");
    }));
    EXPECT_TRUE(compiles(cache, pattern));
    EXPECT_EQ(cache.compilations(), 3);
}

TEST(RegexCache, LentTextRewrittenInPlaceIsLookedUpByItsNewText)
{
    RegexCache cache(3);
    QChar buffer[] = {u'a', u'+'};
    const QString lent = QString::fromRawData(buffer, 2);
    const auto patternOf = [&](const QString &pattern) {
        return cache.withRegex(pattern, {}, nullptr, [](CachedRegex *regex) {
            return regex ? regex->pattern() : QString();
        });
    };
    EXPECT_EQ(patternOf(lent), QLatin1String("a+"));
    EXPECT_EQ(patternOf(lent), QLatin1String("a+"));
    EXPECT_EQ(cache.compilations(), 1);
    buffer[0] = u'b';
    EXPECT_EQ(patternOf(lent), QLatin1String("b+"));
    EXPECT_EQ(patternOf(QStringLiteral("a+")), QLatin1String("a+"));
    EXPECT_EQ(cache.compilations(), 2);
}

TEST(RegexCache, AFailedCompileKeepsNothingAndEvictsNothing)
{
    RegexCache cache(2);
    ASSERT_TRUE(compiles(cache, QStringLiteral("a")));
    ASSERT_TRUE(compiles(cache, QStringLiteral("b")));
    Error error;
    EXPECT_FALSE(cache.withRegex(QStringLiteral("("), {}, &error,
                                 [](CachedRegex *regex) { return regex != nullptr; }));
    EXPECT_FALSE(error.isNull());
    EXPECT_FALSE(compiles(cache, QStringLiteral("(")));
    EXPECT_EQ(cache.compilations(), 4);
    EXPECT_TRUE(compiles(cache, QStringLiteral("a")));
    EXPECT_TRUE(compiles(cache, QStringLiteral("b")));
    EXPECT_EQ(cache.compilations(), 4);
    cache.clear();
    EXPECT_TRUE(compiles(cache, QStringLiteral("a")));
    EXPECT_EQ(cache.compilations(), 5);
}

TEST(RegexCache, ClonesOutliveTheirEntry)
{
    RegexCache cache(1);
    std::unique_ptr<CachedRegex> clone = cache.withRegex(
        QStringLiteral("(x)(y)"), {}, nullptr, [](CachedRegex *regex) { return regex->clone(); });
    ASSERT_TRUE(compiles(cache, QStringLiteral("other")));
    EXPECT_EQ(clone->captureCount(), 2);
    UErrorCode status = U_ZERO_ERROR;
    const UChar text[] = {'x', 'y'};
    uregex_setText(clone->icu(), text, 2, &status);
    EXPECT_TRUE(uregex_find(clone->icu(), 0, &status));
    EXPECT_EQ(status, U_ZERO_ERROR);
}

TEST(RegexCache, FlushingASubjectLetsGoOfItsTextOnly)
{
    // A pattern left set to a subject, as a cache that keeps subjects between calls would.
    const QString subject = QStringLiteral("Show.S01E02");
    const QString other = QStringLiteral("Other");
    const auto setTo = [](const QString &pattern, const QString &text) {
        RegexCache::shared().withRegex(pattern, {}, nullptr, [&](CachedRegex *regex) {
            UErrorCode status = U_ZERO_ERROR;
            uregex_setText(regex->icu(), reinterpret_cast<const UChar *>(text.constData()),
                           static_cast<int32_t>(text.size()), &status);
            return U_SUCCESS(status);
        });
    };
    const auto textOf = [](const QString &pattern) {
        return RegexCache::shared().withRegex(pattern, {}, nullptr, [](CachedRegex *regex) {
            UErrorCode status = U_ZERO_ERROR;
            int32_t length = 0;
            return static_cast<const void *>(uregex_getText(regex->icu(), &length, &status));
        });
    };
    setTo(QStringLiteral("S\\d+"), subject);
    setTo(QStringLiteral("E\\d+"), other);
    flushCachedRegexData(subject);
    EXPECT_NE(textOf(QStringLiteral("S\\d+")), static_cast<const void *>(subject.constData()));
    EXPECT_EQ(textOf(QStringLiteral("E\\d+")), static_cast<const void *>(other.constData()));
    flushCachedRegexData(other);
    EXPECT_NE(textOf(QStringLiteral("E\\d+")), static_cast<const void *>(other.constData()));
}

TEST(RegexCache, APatternKeepsPointingOnlyAtTextItKeepsAlive)
{
    const QString pattern = QStringLiteral("o+");
    const auto textOf = [&] {
        return RegexCache::shared().withRegex(pattern, {}, nullptr, [](CachedRegex *regex) {
            UErrorCode status = U_ZERO_ERROR;
            int32_t length = 0;
            return static_cast<const void *>(uregex_getText(regex->icu(), &length, &status));
        });
    };
    const QChar lentText[] = {u'f', u'o', u'o'};
    const QString lent = QString::fromRawData(lentText, 3);
    ASSERT_TRUE(isMatchedByRegex(lent, pattern));
    EXPECT_NE(textOf(), static_cast<const void *>(lentText));
    const QString longText = QString(5000, u'x') + QStringLiteral("foo");
    ASSERT_TRUE(isMatchedByRegex(longText, pattern));
    EXPECT_NE(textOf(), static_cast<const void *>(longText.constData()));
    // A short text of its own stays set, and stays valid after the caller lets go of it.
    const void *kept = nullptr;
    {
        const QString shortText = QStringLiteral("boo") + QString::number(7);
        ASSERT_TRUE(isMatchedByRegex(shortText, pattern));
        kept = shortText.constData();
    }
    EXPECT_EQ(textOf(), kept);
    EXPECT_EQ(stringByMatching(QStringLiteral("zoo"), pattern), QStringLiteral("oo"));
}
