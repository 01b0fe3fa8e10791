#include "platform/KeychainBackend.h"
#include "platform/FileKeychain.h"
#include "platform/MemoryKeychain.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using Status = KeychainBackend::Status;

namespace {

void exerciseStore(KeychainBackend &store)
{
    const QString service = QStringLiteral("Trovanel - os: alice");
    const QString account = QStringLiteral("alice");
    QByteArray secret;
    EXPECT_EQ(store.find(service, account, &secret), Status::NotFound);
    EXPECT_EQ(store.add(service, account, "p\xc3\xa4ss"), Status::Ok);
    EXPECT_EQ(store.add(service, account, "other"), Status::Duplicate);
    EXPECT_EQ(store.find(service, account, &secret), Status::Ok);
    EXPECT_EQ(secret, "p\xc3\xa4ss");
    EXPECT_EQ(store.find(service, QStringLiteral("Alice"), &secret), Status::NotFound);
    EXPECT_EQ(store.modify(service, account, "new"), Status::Ok);
    EXPECT_EQ(store.modify(service, QStringLiteral("bob"), "new"), Status::NotFound);
    EXPECT_EQ(store.find(service, account, &secret), Status::Ok);
    EXPECT_EQ(secret, "new");
    EXPECT_EQ(store.remove(service, account), Status::Ok);
    EXPECT_EQ(store.remove(service, account), Status::NotFound);
}

} // namespace

TEST(KeychainBackend, MemoryStoreKeepsItemsByExactServiceAndAccount)
{
    MemoryKeychain store;
    ASSERT_TRUE(store.open());
    exerciseStore(store);
}

TEST(KeychainBackend, FileStoreIsPrivateAndSurvivesReopening)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kc.json"));
    {
        FileKeychain store(path);
        ASSERT_TRUE(store.open());
        exerciseStore(store);
        EXPECT_EQ(store.add(QStringLiteral("s"), QStringLiteral("a"), "kept"), Status::Ok);
    }
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    FileKeychain reopened(path);
    ASSERT_TRUE(reopened.open());
    QByteArray secret;
    EXPECT_EQ(reopened.find(QStringLiteral("s"), QStringLiteral("a"), &secret), Status::Ok);
    EXPECT_EQ(secret, "kept");
}

TEST(KeychainBackend, FileStoreDoesNotOpenWithoutItsFolderOrOverADamagedFile)
{
    QTemporaryDir dir;
    EXPECT_FALSE(FileKeychain(dir.filePath(QStringLiteral("none/kc.json"))).open());
    const QString damaged = dir.filePath(QStringLiteral("kc.json"));
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{not json");
    file.close();
    EXPECT_FALSE(FileKeychain(damaged).open());
    QFile check(damaged);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), "{not json");
}

TEST(KeychainBackend, TheEnvironmentChoosesTheStore)
{
    qputenv("TROVANEL_KEYCHAIN", "memory");
    EXPECT_NE(dynamic_cast<MemoryKeychain *>(KeychainBackend::fromEnvironment().get()), nullptr);
    qputenv("TROVANEL_KEYCHAIN", "file:/nonexistent-folder/kc.json");
    const auto file = KeychainBackend::fromEnvironment();
    EXPECT_NE(dynamic_cast<FileKeychain *>(file.get()), nullptr);
    EXPECT_FALSE(file->open());
    qunsetenv("TROVANEL_KEYCHAIN");
    const auto desktop = KeychainBackend::fromEnvironment();
    EXPECT_EQ(dynamic_cast<MemoryKeychain *>(desktop.get()), nullptr);
}
