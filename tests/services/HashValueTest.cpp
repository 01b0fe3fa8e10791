#include "services/HashValue.h"

#include <gtest/gtest.h>

TEST(HashValue, FollowsThePublishedTestVectors)
{
    const HashValue md5 = HashValue::md5HashWithData("abc");
    EXPECT_EQ(md5.description(), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_EQ(md5.type(), HashValueTypeMD5);
    const HashValue sha = HashValue::sha256HashWithData("abc");
    EXPECT_EQ(sha.description(),
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(sha.type(), HashValueTypeSHA256);
    // Only the digest is kept; the rest of the buffer stays zero.
    EXPECT_EQ(md5.value()[16], 0);
    EXPECT_EQ(sha.value()[31], '\xad');
    EXPECT_EQ(sha.value()[32], 0);
}

TEST(HashValue, EqualityNeedsTheSameTypeAndBytes)
{
    const HashValue md5 = HashValue::md5HashWithData("abc");
    const HashValue again = HashValue::md5HashWithData("abc");
    const HashValue sha = HashValue::sha256HashWithData("abc");
    EXPECT_EQ(md5, again);
    EXPECT_EQ(md5.hash(), again.hash());
    EXPECT_EQ(qHash(md5), qHash(again));
    EXPECT_NE(md5, sha);
    EXPECT_NE(md5, HashValue::md5HashWithData("abd"));
    const HashValue copy(md5.value().data(), md5.type());
    EXPECT_EQ(copy, md5);
    quint64 expected = 0;
    std::memcpy(&expected, "\x90\x01\x50\x98\x3c\xd2\x4f\xb0", 8);
    EXPECT_EQ(md5.hash(), expected);
}

TEST(HashValue, AnUnknownTypeCopiesNothingAndPrintsSixteenBytes)
{
    const HashValue sha = HashValue::sha256HashWithData("abc");
    const HashValue odd(sha.value().data(), 7);
    EXPECT_EQ(odd.type(), 7);
    EXPECT_EQ(odd.description(), QString(32, u'0'));
}

TEST(HashValue, SurvivesArchiving)
{
    const HashValue sha = HashValue::sha256HashWithData("abc");
    const QVariantMap archived = sha.archive();
    EXPECT_EQ(archived.value(QStringLiteral("value")).toByteArray().size(), 48);
    EXPECT_EQ(archived.value(QStringLiteral("type")).toInt(), 1);
    EXPECT_EQ(HashValue::fromArchive(archived), sha);

    const HashValue shortened = HashValue::fromArchive(
        {{QStringLiteral("value"), QByteArray("\x01\x02", 2)}, {QStringLiteral("type"), 0}});
    EXPECT_EQ(shortened.description(), QStringLiteral("01020000000000000000000000000000"));
}
