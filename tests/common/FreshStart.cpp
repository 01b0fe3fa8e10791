#include "common/FreshStart.h"

#include <gtest/gtest.h>

#include <QDir>
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

class FreshStart final : public ::testing::EmptyTestEventListener
{
public:
    explicit FreshStart(QString home) : m_home(std::move(home)) {}

    void OnTestStart(const ::testing::TestInfo &) override
    {
        setEnvironment(m_home);
        for (const auto &[variable, folder] : Folders) {
            QDir dir(QDir(m_home).filePath(QString::fromLatin1(folder)));
            dir.removeRecursively();
            QDir().mkpath(dir.path());
        }
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
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshStart(home));
}

} // namespace TestSupport
