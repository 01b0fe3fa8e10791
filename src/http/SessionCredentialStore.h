#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class HTTPAuthentication;

// A user name, password and account domain that a request presented.
struct Credentials
{
    QString username;
    QString password;
    QString domain;
};

// Credentials accepted during this session: server entries by URL and realm, proxy entries by
// host and port. Entries are told apart by the identity of their credentials object.
struct SessionCredentialEntry
{
    std::shared_ptr<const Credentials> credentials;
    QString authenticationScheme;
    // Server entries.
    QUrl url;
    std::optional<QString> realm;
    // Proxy entries.
    QString host;
    int port = 0;
    // The challenge the credentials answered; none for credentials sent before any challenge.
    std::shared_ptr<HTTPAuthentication> authentication = nullptr;
};

// The two session stores; safe from any thread.
class SessionCredentialStore
{
public:
    static QList<SessionCredentialEntry> sessionCredentialsStore();
    static QList<SessionCredentialEntry> sessionProxyCredentialsStore();

    // Storing first removes the entry holding the same credentials object.
    static void storeAuthenticationCredentials(const SessionCredentialEntry &entry);
    static void storeProxyAuthenticationCredentials(const SessionCredentialEntry &entry);
    static void
    removeAuthenticationCredentials(const std::shared_ptr<const Credentials> &credentials);
    static void
    removeProxyAuthenticationCredentials(const std::shared_ptr<const Credentials> &credentials);

    // First the entries for exactly this URL, then those for the same host, scheme and port;
    // an entry passes when there is no response yet, it has no realm, or the realms agree.
    static std::optional<SessionCredentialEntry>
    findSessionAuthenticationCredentials(const QUrl &url, int responseStatusCode,
                                         const QString &authenticationRealm);
    static std::optional<SessionCredentialEntry>
    findSessionProxyAuthenticationCredentials(const QString &proxyHost, int proxyPort);

    // Empties the server store; proxy entries stay.
    static void clearSessionCredentials();
};
