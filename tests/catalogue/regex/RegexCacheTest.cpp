#include "catalogue/regex/RegexCache.h"

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
