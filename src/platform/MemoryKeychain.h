#pragma once

#include "platform/KeychainBackend.h"

#include <QMap>
#include <QMutex>

#include <utility>

// Passwords kept in memory for the life of the process.
class MemoryKeychain : public KeychainBackend
{
public:
    bool open() override { return true; }
    Status find(const QString &service, const QString &account, QByteArray *secret) override;
    Status add(const QString &service, const QString &account, const QByteArray &secret) override;
    Status modify(const QString &service, const QString &account,
                  const QByteArray &secret) override;
    Status remove(const QString &service, const QString &account) override;

protected:
    using Items = QMap<std::pair<QString, QString>, QByteArray>;
    // Called with the lock held after every change.
    virtual bool itemsChanged(const Items &) { return true; }
    Items m_items;

private:
    QMutex m_mutex;
};
