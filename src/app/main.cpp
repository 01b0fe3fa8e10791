#include "app/InstanceChannel.h"
#include "app/LaunchArguments.h"
#include "app/MessageBoxAlertPresenter.h"
#include "app/TNAlert.h"
#include "app/TNController.h"
#include "app/TNMainWindow.h"
#include "platform/Logging.h"

#include <QApplication>

namespace {

void logIgnoredUrls(const QStringList &urls)
{
    for (const QString &url : urls)
        qCInfo(lcApp, "Ignored URL: %s", qPrintable(url));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trovanel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Trovanel"));
    QApplication::setApplicationVersion(QStringLiteral(TROVANEL_VERSION));

    const LaunchArguments launch = LaunchArguments::parse(QApplication::arguments().mid(1));
    InstanceChannel channel;
    if (channel.forward(launch.toList()))
        return 0;
    channel.listen();

    MessageBoxAlertPresenter alerts;
    TNAlert::defaultTNAlert().setPresenter(&alerts);

    TNMainWindow window;
    TNController controller;
    controller.setWindow(&window);
    controller.awakeFromNib();
    QObject::connect(&channel, &InstanceChannel::argumentsReceived, &controller,
                     [&controller, &window](const QStringList &arguments) {
                         const LaunchArguments received = LaunchArguments::parse(arguments);
                         logIgnoredUrls(received.urls);
                         if (!received.paths.isEmpty())
                             controller.applicationOpenFiles(received.paths);
                         window.raise();
                         window.activateWindow();
                     });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
                     &TNController::applicationWillTerminate);
    window.show();
    logIgnoredUrls(launch.urls);
    controller.applicationDidFinishLaunching(launch.paths);
    const int result = QApplication::exec();
    TNAlert::defaultTNAlert().setPresenter(nullptr);
    return result;
}
