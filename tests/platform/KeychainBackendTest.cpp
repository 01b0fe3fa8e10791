#include "platform/KeychainBackend.h"
#include "platform/FileKeychain.h"
#include "platform/MemoryKeychain.h"
#include "platform/SecretServiceKeychain.h"

#include "common/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
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

TEST(KeychainBackend, FileStoreDoesNotOpenWithoutItsFolder)
{
    QTemporaryDir dir;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepWarning);
    FileKeychain store(dir.filePath(QStringLiteral("none/kc.json")));
    EXPECT_FALSE(store.open());
    qInstallMessageHandler(previous);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().contains(dir.filePath(QStringLiteral("none"))))
        << qPrintable(warnings.first());
    EXPECT_EQ(store.problem(), warnings.first());
}

TEST(KeychainBackend, ADamagedFileIsKeptAsideWithItsReasonAndItsGoodItemsKept)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kc.json"));
    const auto asides = [&] {
        return QDir(dir.path()).entryList({QStringLiteral("kc.json.damaged-*")});
    };
    const QByteArray items =
        "[42, {\"service\": \"os\", \"account\": \"alice\", \"secret_b64\": \"!!\"},"
        " {\"service\": \"pod\", \"account\": \"carol\", \"secret_b64\": \"c2VjcmV0\"},"
        " {\"service\": \"pod\", \"account\": \"carol\", \"secret_b64\": \"b3RoZXI=\"},"
        " {\"service\": 7, \"account\": \"x\", \"secret_b64\": \"\"}]";
    ASSERT_TRUE(TestSupport::writeFile(path, items));
    FileKeychain store(path);
    ASSERT_TRUE(store.open());
    EXPECT_EQ(store.problem(),
              QStringLiteral("The password file %1 was damaged (item 1 is not an object; item 2 "
                             "holds no secret in base64; item 4 repeats an earlier one; item 5 "
                             "lacks its service or account); it was kept as %2 and the 1 "
                             "passwords it held that could be read are kept")
                  .arg(path, dir.filePath(asides().value(0))));
    ASSERT_EQ(asides().size(), 1);
    EXPECT_EQ(TestSupport::fileContents(dir.filePath(asides().first())), items);
    EXPECT_FALSE(QFile::exists(path)) << "nothing is written before a change";
    QByteArray secret;
    EXPECT_EQ(store.find(QStringLiteral(""), QStringLiteral(""), &secret), Status::NotFound);
    EXPECT_EQ(store.find(QStringLiteral("os"), QStringLiteral("alice"), &secret), Status::NotFound);
    EXPECT_EQ(store.find(QStringLiteral("pod"), QStringLiteral("carol"), &secret), Status::Ok);
    EXPECT_EQ(secret, "secret");

    for (const QByteArray &whole : {QByteArray("{not json"), QByteArray("{\"a\": 1}")}) {
        ASSERT_TRUE(TestSupport::writeFile(path, whole));
        FileKeychain reopened(path);
        ASSERT_TRUE(reopened.open());
        EXPECT_TRUE(reopened.problem().contains(QStringLiteral("was damaged")));
        EXPECT_EQ(reopened.find(QStringLiteral("pod"), QStringLiteral("carol"), &secret),
                  Status::NotFound);
    }
    EXPECT_EQ(asides().size(), 3);

    // What cannot be moved aside is left alone, and the store stays shut: here the name
    // leaves no room for the suffix.
    const QString longest = dir.filePath(QString(250, u'k'));
    ASSERT_TRUE(TestSupport::writeFile(longest, "[42]"));
    FileKeychain stuck(longest);
    EXPECT_FALSE(stuck.open());
    EXPECT_TRUE(stuck.problem().contains(QStringLiteral("could not be moved aside")));
    EXPECT_EQ(TestSupport::fileContents(longest), "[42]");
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
