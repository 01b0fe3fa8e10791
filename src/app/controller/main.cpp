#include "app/controller/InstanceChannel.h"
#include "app/controller/LaunchArguments.h"
#include "app/controller/TNController.h"
#include "app/controller/TNURLCommand.h"
#include "app/list/TNMainWindow.h"
#include "app/notices/TNNotificationParser.h"
#include "app/sheets/MessageBoxAlertPresenter.h"
#include "app/sheets/TNAlert.h"
#include "platform/FileWriter.h"
#include "platform/UserDefaults.h"

#include <QApplication>

namespace {

void openUrls(const QStringList &urls)
{
    TNURLCommand command(UserDefaults::standard());
    for (const QString &url : urls)
        command.handleURLEvent(url);
}

} // namespace

int main(int argc, char **argv)
{
    FileWriter::failWritesPastSizeLimit();
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
                         openUrls(received.urls);
                         if (!received.paths.isEmpty())
                             controller.applicationOpenFiles(received.paths);
                         window.raise();
                         window.activateWindow();
                     });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
                     &TNController::applicationWillTerminate);
    window.show();
    controller.applicationDidFinishLaunching(launch.paths);
    openUrls(launch.urls);
    controller.checkRemoteNotifications(
        TNNotificationParser::configuredEndpoint(UserDefaults::standard()));
    const int result = QApplication::exec();
    TNAlert::defaultTNAlert().setPresenter(nullptr);
    return result;
}
