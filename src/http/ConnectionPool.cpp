#include "http/ConnectionPool.h"

#include "http/ConnectionTable.h"
#include "http/HTTPStream.h"

#include <QMutexLocker>

ConnectionPool &ConnectionPool::shared()
{
    static ConnectionPool pool;
    return pool;
}

void ConnectionPool::expirePersistentConnections()
{
    QMutexLocker lock(&m_lock);
    const auto now = std::chrono::steady_clock::now();
    const QList<std::shared_ptr<ConnectionEntry>> entries = m_entries;
    for (const auto &entry : entries) {
        if (!entry->request && (!entry->expires || *entry->expires <= now))
            removeEntry(entry);
    }
}

std::shared_ptr<ConnectionEntry> ConnectionPool::idleEntry(const QString &host,
                                                           const QString &scheme, int port) const
{
    QMutexLocker lock(&m_lock);
    std::shared_ptr<ConnectionEntry> found;
    for (const auto &entry : m_entries) {
        if (!entry->request && entry->host == host && entry->scheme == scheme &&
            entry->port == port)
            found = entry;
    }
    return found;
}

std::shared_ptr<ConnectionEntry> ConnectionPool::addEntry(const QString &host, int port,
                                                          const QString &scheme)
{
    QMutexLocker lock(&m_lock);
    auto entry = std::make_shared<ConnectionEntry>();
    entry->id = m_nextConnectionId++;
    entry->host = host;
    entry->port = port;
    entry->scheme = scheme;
    m_entries.append(entry);
    return entry;
}

bool ConnectionPool::contains(const std::shared_ptr<ConnectionEntry> &entry) const
{
    QMutexLocker lock(&m_lock);
    return m_entries.contains(entry);
}

void ConnectionPool::removeEntry(const std::shared_ptr<ConnectionEntry> &entry)
{
    QMutexLocker lock(&m_lock);
    if (!m_entries.removeOne(entry))
        return;
    if (entry->stream)
        entry->stream->close();
    entry->stream.reset();
    ConnectionTable::instance().forget(entry->id);
}

int ConnectionPool::entryCount() const
{
    QMutexLocker lock(&m_lock);
    return int(m_entries.size());
}

void ConnectionPool::incrementRunningRequests()
{
    QMutexLocker lock(&m_lock);
    ++m_runningRequests;
}

void ConnectionPool::decrementRunningRequests()
{
    QMutexLocker lock(&m_lock);
    --m_runningRequests;
}

bool ConnectionPool::isNetworkInUse() const
{
    QMutexLocker lock(&m_lock);
    return m_runningRequests > 0;
}

quint32 ConnectionPool::nextRequestId()
{
    QMutexLocker lock(&m_lock);
    return m_nextRequestId++;
}
