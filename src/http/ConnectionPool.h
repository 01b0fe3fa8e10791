#pragma once

#include <QList>
#include <QString>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

class HTTPStream;

// One place the engine connects to: a kept-alive connection in use by a request or idle
// until it expires. Its id names the socket in the connection table.
struct ConnectionEntry
{
    int id = 0;
    QString host;
    int port = 0; // 0 when the URL names none
    QString scheme;
    std::optional<quint32> request;
    std::shared_ptr<HTTPStream> stream;
    std::optional<std::chrono::steady_clock::time_point> expires;
};

// The class-wide pool of connection entries and the running-request count, under the
// connection lock. Entries are closed and removed on the network thread only.
class ConnectionPool
{
public:
    static ConnectionPool &shared();

    std::recursive_mutex &lock() { return m_lock; }

    // Closes and removes every idle entry whose time is up (or that has none).
    void expirePersistentConnections();
    // The idle entry for that place; the last one in pool order when several match.
    std::shared_ptr<ConnectionEntry> idleEntry(const QString &host, const QString &scheme,
                                               int port) const;
    std::shared_ptr<ConnectionEntry> addEntry(const QString &host, int port, const QString &scheme);
    bool contains(const std::shared_ptr<ConnectionEntry> &entry) const;
    // Removes the entry and closes its idle socket, if any.
    void removeEntry(const std::shared_ptr<ConnectionEntry> &entry);
    int entryCount() const;

    void incrementRunningRequests();
    void decrementRunningRequests();
    bool isNetworkInUse() const;

    quint32 nextRequestId();

private:
    ConnectionPool() = default;

    mutable std::recursive_mutex m_lock;
    QList<std::shared_ptr<ConnectionEntry>> m_entries;
    int m_nextConnectionId = 1;
    quint32 m_nextRequestId = 1;
    int m_runningRequests = 0;
};
