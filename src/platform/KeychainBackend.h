#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// A store of generic passwords keyed by the exact pair (service name, account).
class KeychainBackend
{
public:
    enum class Status
    {
        Ok,
        NotFound,
        Duplicate,
        Unavailable,
        Failed
    };

    virtual ~KeychainBackend() = default;

    virtual bool open() = 0;
    virtual Status find(const QString &service, const QString &account, QByteArray *secret) = 0;
    // Never overwrites: an existing item answers Duplicate.
    virtual Status add(const QString &service, const QString &account,
                       const QByteArray &secret) = 0;
    // Replaces the secret of an existing item, keeping its attributes.
    virtual Status modify(const QString &service, const QString &account,
                          const QByteArray &secret) = 0;
    virtual Status remove(const QString &service, const QString &account) = 0;

    // Why the last call that failed did, in the store's words; empty when it gave none.
    virtual QString problem() const { return {}; }

    // The desktop's Secret Service, unless TROVANEL_KEYCHAIN says "memory" or
    // "file:<path>"; there is no silent fallback from one store to another.
    static std::unique_ptr<KeychainBackend> fromEnvironment();
};
