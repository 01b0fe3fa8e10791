#pragma once

#include "platform/KeychainBackend.h"

#include <QString>

#include <memory>

// The services' account passwords, one generic-password item per service and account.
// Failures are never raised or shown: reads give a null string, stores give false.
class TNKeychain
{
public:
    explicit TNKeychain(std::unique_ptr<KeychainBackend> keychain);

    // The shared instance on the store the environment chooses; nullptr while that store
    // cannot be opened, in which case the next call tries again. Main thread only.
    static TNKeychain *defaultKeychain();
    // Why the shared instance could not be opened last time, in the store's words.
    static QString defaultKeychainProblem();
    // Puts the keychain in place of the shared one and forgets the last problem; nullptr
    // makes the next call open the environment's store again. Main thread only.
    static void setDefaultKeychain(std::unique_ptr<TNKeychain> keychain);
    static std::unique_ptr<TNKeychain> initFromDefault(QString *problem = nullptr);

    static QString keychainNameForService(const QString &service, const QString &account);

    QString passwordForSubtitlesService(const QString &service, const QString &account) const;
    QString passwordForGenericService(const QString &service, const QString &account) const;

    // True only when an item that already existed now holds the password; a newly added
    // item answers false.
    bool addGenericPassword(const QString &password, const QString &service, const QString &account,
                            bool replaceExisting);
    void deletePasswordForGenericService(const QString &service, const QString &account);

    // Why the last call that failed did; empty when the store gave no reason.
    QString problem() const { return m_keychain->problem(); }

private:
    std::unique_ptr<KeychainBackend> m_keychain;
};
