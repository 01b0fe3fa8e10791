#include "app/controller/InstanceChannel.h"
#include "app/controller/LaunchArguments.h"

#include "common/TestSupport.h"

#include <QDir>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QString uniqueName()
{
    return QStringLiteral("trovanel-test-%1").arg(QCoreApplication::applicationPid());
}

TEST(InstanceChannelTest, ASecondLaunchHandsItsArgumentsToTheFirst)
{
    InstanceChannel first(uniqueName());
    ASSERT_TRUE(first.listen());
    QSignalSpy received(&first, &InstanceChannel::argumentsReceived);

    const QStringList arguments{QStringLiteral("/videos/Some Show S01E02.mkv"),
                                QStringLiteral("trovanel://podparse?begin=a&end=b")};
    // The second launch blocks while it writes, so it runs off the main thread.
    bool forwarded = false;
    QThread *second =
        QThread::create([&] { forwarded = InstanceChannel(uniqueName()).forward(arguments); });
    second->start();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return received.count() == 1; }));
    second->wait();
    delete second;
    EXPECT_TRUE(forwarded);
    EXPECT_EQ(received.at(0).at(0).toStringList(), arguments);
}

TEST(InstanceChannelTest, WithoutARunningInstanceNothingIsForwarded)
{
    EXPECT_FALSE(InstanceChannel(uniqueName()).forward({QStringLiteral("/tmp")}, 200));
}

TEST(InstanceChannelTest, ASocketLeftByACrashDoesNotStopTheNextInstance)
{
    // A killed process leaves its bound socket file behind.
    const QByteArray path = QFile::encodeName(QDir::tempPath() + QLatin1Char('/') + uniqueName());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<size_t>(path.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(QFile::decodeName(path)));

    InstanceChannel next(uniqueName());
    EXPECT_TRUE(next.listen());
}

TEST(LaunchArgumentsTest, PathsBecomeAbsoluteAndUrlsStayApart)
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const LaunchArguments parsed = LaunchArguments::parse(
        {QStringLiteral("Show.S01E01.avi"), QStringLiteral("file:///srv/My%20Movies"),
         QStringLiteral("trovanel://podparse?begin=x"), QString(),
         QStringLiteral("http://example.org/x.avi"), QStringLiteral("../up/./Film.mkv")});
    QDir::setCurrent(previous);

    EXPECT_EQ(parsed.paths,
              QStringList({QDir(dir.path()).absoluteFilePath(QStringLiteral("Show.S01E01.avi")),
                           QStringLiteral("/srv/My Movies"),
                           QDir::cleanPath(dir.path() + QStringLiteral("/../up/Film.mkv"))}));
    EXPECT_EQ(parsed.urls, QStringList({QStringLiteral("trovanel://podparse?begin=x"),
                                        QStringLiteral("http://example.org/x.avi")}));
}

} // namespace
