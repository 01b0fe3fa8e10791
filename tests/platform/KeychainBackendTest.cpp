#include "platform/KeychainBackend.h"
#include "platform/FileKeychain.h"
#include "platform/MemoryKeychain.h"
#include "platform/SecretServiceKeychain.h"

#include "common/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <libsecret/secret.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

using Status = KeychainBackend::Status;

namespace {

QStringList warnings;

void keepWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        warnings.append(message);
}

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

// A private session bus with an unlocked keyring on it, both ended with the object. The
// process keeps its first session connection for good, so one serves the whole process.
class PrivateKeyring
{
public:
    PrivateKeyring() : m_previousBus(qgetenv("DBUS_SESSION_BUS_ADDRESS"))
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty())
            return;
        // No service folders: nothing but the keyring started here may take the secrets name.
        const QString config = m_runtime.filePath(QStringLiteral("bus.conf"));
        if (!TestSupport::writeFile(
                config,
                "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">"
                "<busconfig><type>session</type><listen>unix:dir=" +
                    QFile::encodeName(m_runtime.path()) +
                    "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                    "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                    "<allow own=\"*\"/></policy>"
                    "</busconfig>"))
            return;
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1")});
        if (!m_bus.waitForReadyRead(5000))
            return;
        const QByteArray address = m_bus.readLine().trimmed();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_keyring.setProcessEnvironment(environment);
        m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
                        {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
                         QStringLiteral("--foreground")});
        if (!m_keyring.waitForStarted(5000))
            return;
        m_keyring.write("test");
        m_keyring.closeWriteChannel();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        m_started = true;
    }

    ~PrivateKeyring()
    {
        // The process's shared connection would end the process when its bus goes away.
        secret_service_disconnect();
        if (m_started) {
            if (GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
                g_dbus_connection_set_exit_on_close(bus, FALSE);
                g_dbus_connection_close_sync(bus, nullptr, nullptr);
                g_object_unref(bus);
            }
        }
        for (QProcess *process : {&m_keyring, &m_bus}) {
            process->terminate();
            process->waitForFinished(5000);
        }
        if (m_previousBus.isNull())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_previousBus);
    }

    bool isStarted() const { return m_started; }

private:
    QByteArray m_previousBus;
    QTemporaryDir m_runtime;
    QProcess m_bus;
    QProcess m_keyring;
    bool m_started = false;
};

const PrivateKeyring &processKeyring()
{
    static PrivateKeyring *keyring = [] {
        qAddPostRoutine([] { delete keyring; });
        return new PrivateKeyring;
    }();
    return *keyring;
}

} // namespace

TEST(KeychainBackend, SecretServiceKeepsItemsAndWholeSecrets)
{
    if (!processKeyring().isStarted())
        GTEST_SKIP() << "no dbus-daemon or gnome-keyring-daemon";
    SecretServiceKeychain store;
    // The daemon makes its keyring a moment after it answers on the bus.
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return store.open() && store.add("ready", "ready", "x") != Status::Failed; }, 10000));
    EXPECT_EQ(store.remove("ready", "ready"), Status::Ok);
    exerciseStore(store);
    const QByteArray withNul("pa\0ss", 5);
    ASSERT_EQ(store.add(QStringLiteral("s"), QStringLiteral("a"), withNul), Status::Ok);
    QByteArray secret;
    EXPECT_EQ(store.find(QStringLiteral("s"), QStringLiteral("a"), &secret), Status::Ok);
    EXPECT_EQ(store.remove(QStringLiteral("s"), QStringLiteral("a")), Status::Ok);
    EXPECT_EQ(secret, withNul);
}

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
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepWarning);
    EXPECT_FALSE(FileKeychain(dir.filePath(QStringLiteral("none/kc.json"))).open());
    qInstallMessageHandler(previous);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().contains(dir.filePath(QStringLiteral("none"))))
        << qPrintable(warnings.first());
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
