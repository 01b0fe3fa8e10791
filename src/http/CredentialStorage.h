#pragma once

#include "http/SessionCredentialStore.h"

#include <QString>

#include <memory>

// Credentials kept for the rest of the run by protection space (a server's host, port,
// protocol and realm, or a proxy's host, port and realm). Held in memory only: passwords never
// reach the disk through it. Safe from any thread.
class CredentialStorage
{
public:
    static void saveCredentials(const std::shared_ptr<const Credentials> &credentials,
                                const QString &host, int port, const QString &protocol,
                                const QString &realm);
    static void saveCredentialsForProxy(const std::shared_ptr<const Credentials> &credentials,
                                        const QString &host, int port, const QString &realm);
    static std::shared_ptr<const Credentials> savedCredentialsForHost(const QString &host, int port,
                                                                      const QString &protocol,
                                                                      const QString &realm);
    // The protocol plays no part for proxies.
    static std::shared_ptr<const Credentials> savedCredentialsForProxy(const QString &host,
                                                                       int port,
                                                                       const QString &protocol,
                                                                       const QString &realm);
    static void removeCredentialsForHost(const QString &host, int port, const QString &protocol,
                                         const QString &realm);
    static void removeCredentialsForProxy(const QString &host, int port, const QString &realm);
    // Forgets the credentials of every server and proxy.
    static void removeAllCredentials();
};
