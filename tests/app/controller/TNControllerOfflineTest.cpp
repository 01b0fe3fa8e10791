#include "ControllerFixture.h"

#include "app/list/CatalogueTreeModel.h"

#include "catalogue/ServiceKeys.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

const QString ConnectionMessage =
    QStringLiteral("Trovanel could not connect to the following Subtitles Services:");

// A server that takes every connection and drops it without a word.
class SilentServer
{
public:
    SilentServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++m_connections;
                socket->abort();
                socket->deleteLater();
            }
        });
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    int connections() const { return m_connections; }

private:
    QTcpServer m_server;
    int m_connections = 0;
};

class OfflineSearchTest : public ControllerFixture
{
protected:
    static void setServers(const QString &pod, const QString &os, const QString &bs)
    {
        const auto entry = [](const QString &key, const QString &url) {
            return QVariantMap{{QStringLiteral("Name"), key},
                               {QStringLiteral("UserName"), QString()},
                               {QStringLiteral("ServerEnabled"), true},
                               {QStringLiteral("URL"), url}};
        };
        setSetting("servers",
                   QVariantList{entry(PodnapisiServiceKey, pod), entry(OpenSubtitlesServiceKey, os),
                                entry(BetaSeriesServiceKey, bs)});
    }

    void addVideos(int count)
    {
        TNModelController &catalogue = controller.modelController();
        for (int i = 0; i < count; ++i) {
            catalogue.insertVideoFile(QStringLiteral("/v/Show.S01E%1.avi").arg(i))
                ->setModified(true);
        }
        controller.updateStatusInfo();
    }

    qsizetype connectionAlerts() const { return alerts.messages().count(ConnectionMessage); }
};

TEST_F(OfflineSearchTest, EveryUnreachableServiceIsNamedAndAskedOnlyThreeTimes)
{
    SilentServer podnapisi;
    SilentServer betaseries;
    setServers(podnapisi.url(), QStringLiteral("http://127.0.0.1:9"), betaseries.url());
    addVideos(10);
    controller.doSubtitleSearch();
    ASSERT_TRUE(waitForBatchEnd(30000));

    EXPECT_EQ(record().lastLoginForService(PodnapisiServiceKey), TNLastActionResult::NoConnection);
    EXPECT_EQ(record().lastLoginForService(BetaSeriesServiceKey), TNLastActionResult::NoConnection);
    ASSERT_EQ(connectionAlerts(), 1);
    const QString bullet = QString(QChar(0x2022)) + QLatin1Char(' ');
    EXPECT_TRUE(alerts.shown.at(0).request.information.startsWith(
        bullet + PodnapisiServiceKey + QLatin1Char('\n') + bullet + OpenSubtitlesServiceKey +
        QLatin1Char('\n') + bullet + BetaSeriesServiceKey + QLatin1Char('\n')))
        << qPrintable(alerts.shown.at(0).request.information);
    // Three requests, each of which the network layer may try twice; not one per video.
    EXPECT_LE(podnapisi.connections(), 6);
    EXPECT_LE(betaseries.connections(), 6);
}

TEST_F(OfflineSearchTest, ASearchWhoseFirstOperationsEndAtOnceEndsOnce)
{
    // No language of the list is Podnapisi's or BetaSeries', so their operations end at once,
    // the first ones while the last is still being set up for many videos.
    setSetting("lang0", QStringLiteral("xx"));
    setServices(true, false, true);
    addVideos(20000);
    int batchEnds = 0;
    QObject::connect(&controller.treeController(), &QAbstractItemModel::layoutChanged,
                     [&] { ++batchEnds; });
    controller.doSubtitleSearch();
    QThread::msleep(300);
    ASSERT_TRUE(waitForBatchEnd(30000));
    // The rows are sorted a moment after the batch ends.
    ASSERT_TRUE(TestSupport::waitUntil([&] { return batchEnds > 0; }, 30000));
    TestSupport::processEventsFor(50);
    EXPECT_EQ(batchEnds, 1);
}

} // namespace
