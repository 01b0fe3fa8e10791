#include "platform/MemoryKeychain.h"

using Status = KeychainBackend::Status;

Status MemoryKeychain::find(const QString &service, const QString &account, QByteArray *secret)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_items.constFind({service, account});
    if (it == m_items.cend())
        return Status::NotFound;
    if (secret)
        *secret = it.value();
    return Status::Ok;
}

Status MemoryKeychain::add(const QString &service, const QString &account, const QByteArray &secret)
{
    QMutexLocker lock(&m_mutex);
    if (m_items.contains({service, account}))
        return Status::Duplicate;
    m_items.insert({service, account}, secret);
    if (itemsChanged(m_items))
        return Status::Ok;
    m_items.remove({service, account});
    return Status::Failed;
}

Status MemoryKeychain::modify(const QString &service, const QString &account,
                              const QByteArray &secret)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_items.find({service, account});
    if (it == m_items.end())
        return Status::NotFound;
    const QByteArray previous = std::exchange(it.value(), secret);
    if (itemsChanged(m_items))
        return Status::Ok;
    m_items[{service, account}] = previous;
    return Status::Failed;
}

Status MemoryKeychain::remove(const QString &service, const QString &account)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_items.find({service, account});
    if (it == m_items.end())
        return Status::NotFound;
    const QByteArray previous = it.value();
    m_items.erase(it);
    if (itemsChanged(m_items))
        return Status::Ok;
    m_items.insert({service, account}, previous);
    return Status::Failed;
}
