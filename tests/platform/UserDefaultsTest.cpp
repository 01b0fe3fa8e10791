#include "platform/UserDefaults.h"

#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <thread>
#include <vector>

namespace {

QStringList g_warnings;

void recordWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        g_warnings.append(message);
}

class UserDefaultsTest : public ::testing::Test
{
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("settings.json")); }

    void writeFile(const QByteArray &content) const
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QJsonObject fileObject() const
    {
        QFile file(path());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    QStringList asideFiles() const
    {
        return QDir(m_dir.path()).entryList({QStringLiteral("settings.json.damaged-*")});
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(UserDefaultsTest, ValuesSurviveARestartWithTheirTypes)
{
    QVariantMap nested{{"Name", "x"}, {"ServerEnabled", true}, {"Count", 3}};
    {
        UserDefaults defaults(path());
        defaults.setValue("flag", true);
        defaults.setValue("count", 5);
        defaults.setValue("ratio", 2.5);
        defaults.setValue("text", "hello");
        defaults.setValue("list", QVariantList{nested, "s", 7});
        defaults.setValue("map", nested);
        defaults.setValue("names", QStringList{"a", "b"});
    }
    UserDefaults restarted(path());
    EXPECT_EQ(restarted.value("flag").typeId(), QMetaType::Bool);
    EXPECT_TRUE(restarted.value("flag").toBool());
    EXPECT_EQ(restarted.value("count").typeId(), QMetaType::LongLong);
    EXPECT_EQ(restarted.integerValue("count"), 5);
    EXPECT_EQ(restarted.value("ratio").typeId(), QMetaType::Double);
    EXPECT_DOUBLE_EQ(restarted.doubleValue("ratio"), 2.5);
    EXPECT_EQ(restarted.value("text").typeId(), QMetaType::QString);
    EXPECT_EQ(restarted.stringValue("text"), "hello");
    const QVariantList list = restarted.listValue("list");
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.at(0).toMap().value("ServerEnabled").typeId(), QMetaType::Bool);
    EXPECT_EQ(list.at(2).typeId(), QMetaType::LongLong);
    EXPECT_EQ(restarted.mapValue("map").value("Count").toLongLong(), 3);
    EXPECT_EQ(restarted.listValue("names"), (QVariantList{"a", "b"}));
}

TEST_F(UserDefaultsTest, AnswersAreTheSameBeforeAndAfterARestart)
{
    UserDefaults defaults(path());
    defaults.setValue("count", 5);
    defaults.setValue("names", QStringList{"a"});
    const QVariant countBefore = defaults.value("count");
    const QVariant namesBefore = defaults.value("names");
    defaults.reload();
    EXPECT_EQ(defaults.value("count"), countBefore);
    EXPECT_EQ(defaults.value("count").typeId(), countBefore.typeId());
    EXPECT_EQ(defaults.value("names"), namesBefore);
}

TEST_F(UserDefaultsTest, RegisteredDefaultsAnswerUnsetKeysAndAreNeverWritten)
{
    UserDefaults defaults(path());
    defaults.registerDefaults({{"AlertLoginErrors", true}, {"DownloadDestination", 0}});
    defaults.registerDefaults({{"ignoreFilePattern", "sample"}});
    EXPECT_TRUE(defaults.boolValue("AlertLoginErrors"));
    EXPECT_TRUE(defaults.contains("DownloadDestination"));
    EXPECT_FALSE(defaults.userValue("AlertLoginErrors").isValid());
    EXPECT_EQ(defaults.stringValue("ignoreFilePattern"), "sample");

    defaults.setValue("AlertLoginErrors", false);
    EXPECT_FALSE(defaults.boolValue("AlertLoginErrors"));
    const QJsonObject written = fileObject();
    EXPECT_EQ(written.keys(), QStringList{"AlertLoginErrors"});

    defaults.removeValue("AlertLoginErrors");
    EXPECT_TRUE(defaults.boolValue("AlertLoginErrors"));
    EXPECT_TRUE(fileObject().isEmpty());
    EXPECT_FALSE(defaults.contains("never-set"));
    EXPECT_FALSE(defaults.value("never-set").isValid());
}

TEST_F(UserDefaultsTest, NullValueRemovesTheKey)
{
    UserDefaults defaults(path());
    defaults.setValue("k", "v");
    defaults.setValue("k", QVariant());
    EXPECT_FALSE(defaults.contains("k"));
    UserDefaults restarted(path());
    EXPECT_FALSE(restarted.contains("k"));
}

TEST_F(UserDefaultsTest, TypedGettersCheckTheStoredType)
{
    UserDefaults defaults(path());
    defaults.setValue("one", 1);
    defaults.setValue("zero", 0);
    defaults.setValue("fraction", 2.9);
    defaults.setValue("yes", "YES");
    defaults.setValue("list", QVariantList{1});
    defaults.setValue("true", true);

    EXPECT_TRUE(defaults.boolValue("one"));
    EXPECT_FALSE(defaults.boolValue("zero"));
    EXPECT_TRUE(defaults.boolValue("fraction"));
    EXPECT_FALSE(defaults.boolValue("yes"));
    EXPECT_FALSE(defaults.boolValue("list"));
    EXPECT_FALSE(defaults.boolValue("missing"));

    EXPECT_EQ(defaults.integerValue("fraction"), 2);
    EXPECT_EQ(defaults.integerValue("true"), 1);
    EXPECT_EQ(defaults.integerValue("yes"), 0);
    EXPECT_DOUBLE_EQ(defaults.doubleValue("true"), 1.0);

    EXPECT_TRUE(defaults.stringValue("one").isNull());
    EXPECT_TRUE(defaults.stringValue("missing").isNull());
    EXPECT_TRUE(defaults.listValue("one").isEmpty());
    EXPECT_TRUE(defaults.mapValue("list").isEmpty());
}

TEST_F(UserDefaultsTest, NumbersNoIntegerCanHoldCountAsNotSet)
{
    writeFile(R"({"huge": 1e300, "negative": -1e19, "largest": 9.2e18})");
    UserDefaults defaults(path());
    defaults.registerDefaults({{"huge", 2}});
    EXPECT_EQ(defaults.integerValue("huge"), 2);
    EXPECT_EQ(defaults.integerValue("negative"), 0);
    EXPECT_EQ(defaults.integerValue("largest"), 9200000000000000000LL);
}

TEST_F(UserDefaultsTest, ChangesAreSignalledOnce)
{
    UserDefaults defaults(path());
    QSignalSpy spy(&defaults, &UserDefaults::valueChanged);
    defaults.setValue("k", 1);
    defaults.setValue("k", 1);
    defaults.setValue("k", true);
    defaults.removeValue("k");
    defaults.removeValue("k");
    ASSERT_EQ(spy.count(), 3);
    for (const QList<QVariant> &arguments : spy)
        EXPECT_EQ(arguments.at(0).toString(), "k");
}

TEST_F(UserDefaultsTest, DamagedFileIsKeptAsideAndDefaultsAnswer)
{
    for (const QByteArray &content :
         {QByteArray("{\"lang0\": \"fr\""), QByteArray("[1, 2]"), QByteArray("")}) {
        writeFile(content);
        const QStringList before = asideFiles();
        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordWarning);
        UserDefaults defaults(path());
        qInstallMessageHandler(previous);
        ASSERT_EQ(g_warnings.size(), 1);
        EXPECT_TRUE(g_warnings.first().contains("damaged")) << g_warnings.first().toStdString();
        defaults.registerDefaults({{"AlertLoginErrors", true}});
        EXPECT_FALSE(defaults.contains("lang0"));
        EXPECT_TRUE(defaults.boolValue("AlertLoginErrors"));
        EXPECT_FALSE(QFile::exists(path()));

        const QStringList after = asideFiles();
        ASSERT_EQ(after.size(), before.size() + 1) << content.toStdString();
        QString added;
        for (const QString &name : after) {
            if (!before.contains(name))
                added = name;
        }
        QFile aside(QDir(m_dir.path()).filePath(added));
        ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
        EXPECT_EQ(aside.readAll(), content);

        defaults.setValue("lang0", "de");
        EXPECT_EQ(UserDefaults(path()).stringValue("lang0"), "de");
        ASSERT_TRUE(QFile::remove(path()));
    }
}

TEST_F(UserDefaultsTest, FailedWriteIsReportedAndKeepsTheValueInMemory)
{
    QFile blocker(m_dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    UserDefaults defaults(m_dir.filePath(QStringLiteral("file/settings.json")));
    defaults.setValue("k", "v");
    EXPECT_EQ(defaults.stringValue("k"), "v");
    EXPECT_FALSE(defaults.synchronize());
}

TEST_F(UserDefaultsTest, AWriteCutShortIsReportedAndKeepsTheFileWhole)
{
    UserDefaults defaults(path());
    defaults.setValue("k", "kept");
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordWarning);
    bool synchronized = true;
    TestSupport::withFileSizeLimit(64, [&] {
        defaults.setValue("long", QString(200, u'x'));
        synchronized = defaults.synchronize();
    });
    qInstallMessageHandler(previous);

    EXPECT_FALSE(synchronized);
    EXPECT_EQ(fileObject().value("k").toString(), "kept");
    EXPECT_FALSE(fileObject().contains("long"));
    ASSERT_FALSE(g_warnings.isEmpty());
    EXPECT_TRUE(g_warnings.first().endsWith("File too large")) << qPrintable(g_warnings.first());
}

TEST_F(UserDefaultsTest, AFolderRemovedWhileRunningIsMadeAgain)
{
    const QString folder = m_dir.filePath(QStringLiteral("gone"));
    UserDefaults defaults(folder + QStringLiteral("/settings.json"));
    defaults.setValue("k", "first");
    ASSERT_TRUE(QDir(folder).removeRecursively());
    defaults.setValue("k", "second");
    EXPECT_EQ(UserDefaults(defaults.filePath()).stringValue("k"), "second");
}

TEST_F(UserDefaultsTest, ConcurrentReadersAndWritersLoseNothing)
{
    UserDefaults defaults(path());
    defaults.registerDefaults({{"shared", "default"}});
    constexpr int Threads = 8;
    constexpr int Rounds = 60;
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&defaults, t] {
            const QString own = QStringLiteral("key%1").arg(t);
            for (int i = 0; i < Rounds; ++i) {
                defaults.setValue(own, i);
                EXPECT_EQ(defaults.integerValue(own), i);
                const QVariant shared = defaults.value("shared");
                EXPECT_EQ(shared.typeId(), QMetaType::QString);
                defaults.setValue("shared", QStringLiteral("from %1").arg(t));
            }
            defaults.setValue(QStringLiteral("done%1").arg(t), true);
        });
    }
    for (std::thread &worker : workers)
        worker.join();

    UserDefaults restarted(path());
    for (int t = 0; t < Threads; ++t) {
        EXPECT_EQ(restarted.integerValue(QStringLiteral("key%1").arg(t)), Rounds - 1);
        EXPECT_TRUE(restarted.boolValue(QStringLiteral("done%1").arg(t)));
    }
    EXPECT_EQ(restarted.value("shared"), defaults.value("shared"));
}

TEST(UserDefaultsStandard, LivesInTheConfigurationFolderAndSurvivesReload)
{
    UserDefaults &standard = UserDefaults::standard();
    EXPECT_EQ(&standard, &UserDefaults::standard());
    EXPECT_EQ(standard.filePath(),
              QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath("trovanel/settings.json"));
    standard.setValue("oneStep", true);
    standard.reload();
    EXPECT_TRUE(standard.boolValue("oneStep"));
}
