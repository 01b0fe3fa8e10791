#include "common/FreshStart.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QList>

namespace TestSupport {
namespace {

QList<std::function<void()>> &resets()
{
    static QList<std::function<void()>> list;
    return list;
}

const char *const Folders[][2] = {{"XDG_CONFIG_HOME", "config"},
                                  {"XDG_DATA_HOME", "data"},
                                  {"XDG_CACHE_HOME", "cache"},
                                  {"XDG_RUNTIME_DIR", "runtime"},
                                  {"TMPDIR", "tmp"}};

// Tests may change these variables; each test gets them back.
void setEnvironment(const QString &home)
{
    for (const auto &[variable, folder] : Folders)
        qputenv(variable, QDir(home).filePath(QString::fromLatin1(folder)).toLocal8Bit());
    // Passwords go to a store of the test's own, never to the desktop's keyring.
    qputenv("TROVANEL_KEYCHAIN", "memory");
    qunsetenv("TROVANEL_EXTRA_CA");
}

// Private, as a desktop session makes them: Qt refuses a runtime folder others can read.
// Made before the first test too, since QApplication looks for the runtime folder at once.
void makeEmptyFolders(const QString &home)
{
    for (const auto &[variable, folder] : Folders) {
        QDir dir(QDir(home).filePath(QString::fromLatin1(folder)));
        dir.removeRecursively();
        QDir().mkdir(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

class FreshStart final : public ::testing::EmptyTestEventListener
{
public:
    explicit FreshStart(QString home) : m_home(std::move(home)) {}

    void OnTestStart(const ::testing::TestInfo &) override
    {
        setEnvironment(m_home);
        makeEmptyFolders(m_home);
        for (const std::function<void()> &reset : std::as_const(resets()))
            reset();
    }

private:
    const QString m_home;
};

} // namespace

bool addStoreReset(std::function<void()> reset)
{
    resets().append(std::move(reset));
    return true;
}

void startEveryTestFresh(const QString &home)
{
    setEnvironment(home);
    makeEmptyFolders(home);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshStart(home));
}

} // namespace TestSupport
