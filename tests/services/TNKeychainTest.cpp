#include "services/TNKeychain.h"
#include "platform/MemoryKeychain.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Counts the changes that reach the store.
class CountingKeychain : public MemoryKeychain
{
public:
    Status modify(const QString &service, const QString &account, const QByteArray &secret) override
    {
        ++modifications;
        return MemoryKeychain::modify(service, account, secret);
    }
    int modifications = 0;
};

} // namespace

TEST(TNKeychain, ItemsAreNamedAfterServiceAndAccount)
{
    EXPECT_EQ(TNKeychain::keychainNameForService(QStringLiteral("opensubtitles.org"),
                                                 QStringLiteral("alice")),
              QStringLiteral("Trovanel - opensubtitles.org: alice"));
}

TEST(TNKeychain, StoringAnswersWhetherAnExistingItemNowHoldsThePassword)
{
    auto store = std::make_unique<CountingKeychain>();
    CountingKeychain *counting = store.get();
    TNKeychain keychain(std::move(store));
    const QString name =
        TNKeychain::keychainNameForService(QStringLiteral("svc"), QStringLiteral("alice"));
    const QString account = QStringLiteral("alice");

    EXPECT_FALSE(keychain.addGenericPassword(QStringLiteral("s3cr\u00e9t"), name, account, true));
    EXPECT_EQ(keychain.passwordForSubtitlesService(QStringLiteral("svc"), account),
              QStringLiteral("s3cr\u00e9t"));

    EXPECT_TRUE(keychain.addGenericPassword(QStringLiteral("s3cr\u00e9t"), name, account, true));
    EXPECT_EQ(counting->modifications, 0);

    EXPECT_TRUE(keychain.addGenericPassword(QStringLiteral("new"), name, account, true));
    EXPECT_EQ(counting->modifications, 1);
    EXPECT_EQ(keychain.passwordForGenericService(name, account), QStringLiteral("new"));

    EXPECT_FALSE(keychain.addGenericPassword(QStringLiteral("other"), name, account, false));
    EXPECT_EQ(keychain.passwordForGenericService(name, account), QStringLiteral("new"));

    EXPECT_TRUE(keychain.addGenericPassword(QStringLiteral(""), name, account, true));
    const QString empty = keychain.passwordForGenericService(name, account);
    EXPECT_FALSE(empty.isNull());
    EXPECT_TRUE(empty.isEmpty());
}

TEST(TNKeychain, MissingArgumentsAndItemsGiveNothing)
{
    TNKeychain keychain(std::make_unique<MemoryKeychain>());
    EXPECT_FALSE(
        keychain.addGenericPassword(QString(), QStringLiteral("s"), QStringLiteral("a"), true));
    EXPECT_FALSE(
        keychain.addGenericPassword(QStringLiteral("p"), QString(), QStringLiteral("a"), true));
    EXPECT_FALSE(
        keychain.addGenericPassword(QStringLiteral("p"), QStringLiteral("s"), QString(), true));
    EXPECT_TRUE(keychain.passwordForGenericService(QStringLiteral("s"), QString()).isNull());
    EXPECT_TRUE(
        keychain.passwordForGenericService(QStringLiteral("s"), QStringLiteral("a")).isNull());

    keychain.addGenericPassword(QStringLiteral("p"), QStringLiteral("s"), QStringLiteral("a"),
                                true);
    keychain.deletePasswordForGenericService(QStringLiteral("s"), QStringLiteral("a"));
    keychain.deletePasswordForGenericService(QStringLiteral("s"), QStringLiteral("a"));
    EXPECT_TRUE(
        keychain.passwordForGenericService(QStringLiteral("s"), QStringLiteral("a")).isNull());
}

TEST(TNKeychain, TheSharedKeychainRetriesUntilItsStoreOpens)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("later"));
    qputenv("TROVANEL_KEYCHAIN", ("file:" + folder + "/kc.json").toLocal8Bit());
    EXPECT_EQ(TNKeychain::defaultKeychain(), nullptr);
    EXPECT_EQ(TNKeychain::defaultKeychain(), nullptr);
    ASSERT_TRUE(QDir().mkpath(folder));
    TNKeychain *shared = TNKeychain::defaultKeychain();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(TNKeychain::defaultKeychain(), shared);
    shared->addGenericPassword(QStringLiteral("pw"), QStringLiteral("s"), QStringLiteral("a"),
                               true);
    qunsetenv("TROVANEL_KEYCHAIN");
}
