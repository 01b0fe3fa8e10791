#pragma once

#include "http/HTTPRoute.h"

#include <QObject>
#include <QSslSocket>

#include <map>
#include <memory>

// Idle kept-alive sockets, by the stream id the engine's connection pool gives them. A socket
// is here only while no exchange uses it, so two exchanges never share one. Used on the
// network thread only.
class ConnectionTable final : public QObject
{
    Q_OBJECT

public:
    static ConnectionTable &instance();

    // The idle socket of that id when it is connected, clean and on the same route; any
    // other socket under the id is closed.
    std::unique_ptr<QSslSocket> take(int streamId, const HTTPRoute &route);
    void putIdle(int streamId, const HTTPRoute &route, std::unique_ptr<QSslSocket> socket);
    // Closes the idle socket of that id, if any.
    void forget(int streamId);
    int idleCount() const { return int(m_idle.size()); }

private:
    struct Idle
    {
        HTTPRoute route;
        std::unique_ptr<QSslSocket> socket;
    };

    ConnectionTable() = default;

    std::map<int, Idle> m_idle;
};
