#include "fakes/services/FakeBetaSeries.h"
#include "fakes/services/FakeOpenSubtitles.h"
#include "services/HashValue.h"
#include "services/betaseries/BetaSeriesAPI.h"
#include "services/opensubtitles/OSApi.h"

#include <QLoggingCategory>
#include <QMutex>

#include <gtest/gtest.h>

namespace {

QMutex logMutex;
QStringList logged;

void keepMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QMutexLocker lock(&logMutex);
    logged.append(message);
}

} // namespace

TEST(PasswordLogging, NoPasswordOrPasswordHashReachesTheLog)
{
    QLoggingCategory::setFilterRules(QStringLiteral("trovanel.*=true"));
    const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
    const QString password = QStringLiteral("p\u00e4ssw\u00f6rd");
    const QString md5 = HashValue::md5HashWithData(password.toUtf8()).description();
    {
        Fakes::FakeOpenSubtitles opensubtitles;
        opensubtitles.setFailure(QStringLiteral("LogIn"), Fakes::FakeOpenSubtitles::Failure::Fault);
        EXPECT_EQ(OSApi(QStringLiteral("alice"), password, opensubtitles.endpoint()).login(), 2);
        opensubtitles.setFailure(QStringLiteral("LogIn"), Fakes::FakeOpenSubtitles::Failure::Html);
        EXPECT_EQ(OSApi(QStringLiteral("alice"), password, opensubtitles.endpoint()).login(), 2);
        const QUrl endpoint = opensubtitles.endpoint();
        opensubtitles.server().stop();
        EXPECT_EQ(OSApi(QStringLiteral("alice"), password, endpoint).login(), 2);

        Fakes::FakeBetaSeries betaseries;
        const QUrl host = betaseries.host();
        betaseries.server().stop();
        EXPECT_EQ(BetaSeriesAPI(QStringLiteral("alice"), password, host).login(), 2);
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    QMutexLocker lock(&logMutex);
    EXPECT_FALSE(logged.isEmpty()) << "the failures are logged";
    for (const QString &message : std::as_const(logged)) {
        EXPECT_FALSE(message.contains(password)) << qPrintable(message);
        EXPECT_FALSE(message.contains(md5)) << qPrintable(message);
    }
}
