#include "app/sheets/TNLastActionResult.h"

#include <gtest/gtest.h>

TEST(LastActionResultTest, AbsentEntriesAnswerZeroAndNo)
{
    TNLastActionResult record;
    EXPECT_EQ(record.lastLoginForService(QStringLiteral("podnapisi.net")), 0);
    EXPECT_FALSE(record.downloadLimitReachedForService(QStringLiteral("podnapisi.net")));
    EXPECT_EQ(record.lastAction(), 0u);
    EXPECT_FALSE(record.hasCancelled());

    record.setLogin(TNLastActionResult::LoginRefused, QStringLiteral("podnapisi.net"));
    record.setDownloadLimitReached(true, QStringLiteral("podnapisi.net"));
    EXPECT_EQ(record.lastLoginForService(QStringLiteral("podnapisi.net")), 2);
    EXPECT_EQ(record.lastLoginForService(QStringLiteral("Podnapisi.net")), 0)
        << "service keys compare exactly";
    EXPECT_TRUE(record.downloadLimitReachedForService(QStringLiteral("podnapisi.net")));
    record.addIgnoredFile();
    record.addIgnoredFile();
    EXPECT_EQ(record.ignoredFiles(), 2);
}

TEST(LastActionResultTest, TheSharedRecordIsOneObject)
{
    TNLastActionResult::defaultActionResult().setLastAction(TNLastActionResult::SearchAction);
    EXPECT_EQ(TNLastActionResult::defaultActionResult().lastAction(), 2u);
}
