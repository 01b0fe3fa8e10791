#pragma once

#include "platform/KeychainBackend.h"

#include <QString>

// The desktop's Secret Service (GNOME Keyring, KWallet and others) through libsecret.
// Items carry the attributes "service" and "account" and are labelled with the service.
class SecretServiceKeychain : public KeychainBackend
{
public:
    bool open() override;
    Status find(const QString &service, const QString &account, QByteArray *secret) override;
    Status add(const QString &service, const QString &account, const QByteArray &secret) override;
    Status modify(const QString &service, const QString &account,
                  const QByteArray &secret) override;
    Status remove(const QString &service, const QString &account) override;
    QString problem() const override { return m_problem; }

private:
    QString m_problem;
};
