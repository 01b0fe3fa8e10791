#pragma once

#include "http/Ntlm.h"
#include "http/SessionCredentialStore.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <memory>

class HTTPMessage;
class HTTPResponseHead;

// A server's or proxy's challenge (Basic, Digest or NTLM) and the credentials answering it. Used on
// the network thread only: session entries share these objects between requests.
class HTTPAuthentication
{
public:
    enum class Rejection
    {
        None,
        BadPassword, // the credentials sent were answered with a new challenge
        Other        // the answer no longer offers a scheme this object speaks
    };

    // Null when the 401 ("WWW-Authenticate") or 407 ("Proxy-Authenticate") offers no scheme
    // this engine speaks; the strongest offered is chosen.
    static std::shared_ptr<HTTPAuthentication> createFromResponse(const HTTPResponseHead &head,
                                                                  bool proxy);

    // "Basic", "Digest" or "NTLM".
    QString method() const;
    QString realm() const;
    bool requiresAccountDomain() const { return isNtlm(); }
    bool requiresUserNameAndPassword() const { return true; }
    bool isValid(Rejection *why = nullptr) const;

    // Sets "Authorization" or "Proxy-Authorization" on the message.
    bool apply(HTTPMessage &message, const Credentials &credentials);
    // A new challenge after credentials were applied: they were refused, unless a Digest
    // server only says its nonce went stale (honoured once).
    void update(const HTTPResponseHead &head);

    // "Basic " and the Base64 of "user:password" in UTF-8.
    static QByteArray basicAuthorization(const QString &username, const QString &password);

private:
    struct Challenge
    {
        QByteArray scheme; // lower case
        QMap<QByteArray, QByteArray> parameters;
    };
    static QList<Challenge> parseChallenges(const QList<QByteArray> &values);
    static std::optional<Challenge> strongest(const QList<Challenge> &challenges);
    QByteArray digestAuthorization(const HTTPMessage &message, const Credentials &credentials);
    QByteArray hash(const QByteArray &text) const;
    bool isNtlm() const { return m_challenge.scheme == "ntlm"; }
    // The Negotiate message first, then the Authenticate message answering the challenge.
    QByteArray ntlmAuthorization(const Credentials &credentials);
    void updateNtlm(const Challenge &offered);

    bool m_proxy = false;
    Challenge m_challenge;
    bool m_applied = false;
    bool m_staleHonoured = false;
    Rejection m_rejection = Rejection::None;
    quint32 m_nonceCount = 0;
    std::optional<Ntlm::Challenge> m_ntlmChallenge;
    bool m_ntlmAuthenticated = false;
};
