#include "app/controller/InstanceChannel.h"

#include "platform/Logging.h"

#include <QDataStream>
#include <QLocalSocket>

#include <unistd.h>

InstanceChannel::InstanceChannel(QString name, QObject *parent)
    : QObject(parent), m_name(std::move(name))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceChannel::acceptConnections);
}

QString InstanceChannel::defaultName()
{
    return QStringLiteral("trovanel-%1").arg(getuid());
}

bool InstanceChannel::forward(const QStringList &arguments, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message;
    QDataStream stream(&message, QIODevice::WriteOnly);
    stream << arguments;
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return true;
}

bool InstanceChannel::listen()
{
    if (m_server.listen(m_name))
        return true;
    // Nobody answered on the name, so the socket file is left over from a crash.
    QLocalServer::removeServer(m_name);
    if (m_server.listen(m_name))
        return true;
    qCWarning(lcApp, "Cannot listen on %s: %s", qPrintable(m_name),
              qPrintable(m_server.errorString()));
    return false;
}

void InstanceChannel::acceptConnections()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            QDataStream stream(socket);
            QStringList arguments;
            stream >> arguments;
            if (stream.status() == QDataStream::Ok)
                Q_EMIT argumentsReceived(arguments);
            else
                qCWarning(lcApp, "Ignored a malformed hand-over from another launch");
            socket->deleteLater();
        });
    }
}
