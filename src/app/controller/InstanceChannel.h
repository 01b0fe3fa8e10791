#pragma once

#include <QLocalServer>
#include <QObject>
#include <QStringList>

// Hands the arguments of a second launch to the instance already running, over a
// local socket private to the user.
class InstanceChannel final : public QObject
{
    Q_OBJECT

public:
    explicit InstanceChannel(QString name = defaultName(), QObject *parent = nullptr);

    static QString defaultName();

    // True when a running instance took the arguments.
    bool forward(const QStringList &arguments, int timeoutMs = 2000);
    // Becomes the running instance; false when the socket cannot be set up.
    bool listen();

Q_SIGNALS:
    void argumentsReceived(const QStringList &arguments);

private:
    void acceptConnections();

    QString m_name;
    QLocalServer m_server;
};
