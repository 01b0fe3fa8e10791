#include "http/ConnectionTable.h"

#include "http/NetworkThread.h"

ConnectionTable &ConnectionTable::instance()
{
    Q_ASSERT(NetworkThread::isCurrent());
    static ConnectionTable *table = [] {
        auto *created = new ConnectionTable;
        created->moveToThread(NetworkThread::thread());
        return created;
    }();
    return *table;
}

std::unique_ptr<QSslSocket> ConnectionTable::take(int streamId, const HTTPRoute &route)
{
    auto it = m_idle.find(streamId);
    if (it == m_idle.end())
        return nullptr;
    Idle idle = std::move(it->second);
    m_idle.erase(it);
    QObject::disconnect(idle.socket.get(), nullptr, this, nullptr);
    const bool usable = idle.route == route &&
                        idle.socket->state() == QAbstractSocket::ConnectedState &&
                        idle.socket->bytesAvailable() == 0;
    if (!usable) {
        idle.socket->abort();
        idle.socket.release()->deleteLater();
        return nullptr;
    }
    return std::move(idle.socket);
}

void ConnectionTable::putIdle(int streamId, const HTTPRoute &route,
                              std::unique_ptr<QSslSocket> socket)
{
    forget(streamId);
    QSslSocket *watched = socket.get();
    // Data or an end on an idle socket means it can no longer carry a clean exchange.
    auto drop = [this, streamId, watched] {
        auto it = m_idle.find(streamId);
        if (it != m_idle.end() && it->second.socket.get() == watched) {
            std::unique_ptr<QSslSocket> dead = std::move(it->second.socket);
            m_idle.erase(it);
            dead->disconnect(this);
            dead->abort();
            dead.release()->deleteLater();
        }
    };
    connect(watched, &QIODevice::readyRead, this, drop, Qt::QueuedConnection);
    connect(watched, &QAbstractSocket::disconnected, this, drop, Qt::QueuedConnection);
    connect(watched, &QAbstractSocket::errorOccurred, this, drop, Qt::QueuedConnection);
    m_idle[streamId] = Idle{route, std::move(socket)};
}

void ConnectionTable::forget(int streamId)
{
    auto it = m_idle.find(streamId);
    if (it == m_idle.end())
        return;
    std::unique_ptr<QSslSocket> socket = std::move(it->second.socket);
    m_idle.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket.release()->deleteLater();
}
