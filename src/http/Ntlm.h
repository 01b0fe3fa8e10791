#pragma once

#include "http/SessionCredentialStore.h"

#include <QByteArray>
#include <QString>

#include <optional>

// NTLM messages for HTTP authentication: the Negotiate message, the server's Challenge message
// and the Authenticate message answering it with NTLMv2 responses.
class Ntlm
{
public:
    struct Challenge
    {
        quint32 flags = 0;
        QByteArray serverChallenge; // 8 bytes
        QByteArray targetInfo;      // the AV pairs, as sent
        std::optional<QByteArray> timestamp;
    };
    struct Responses
    {
        QByteArray lm;
        QByteArray nt;
        QByteArray sessionBaseKey;
    };

    static QByteArray negotiateMessage();
    // Nullopt for anything that is not a well-formed Challenge message.
    static std::optional<Challenge> parseChallengeMessage(const QByteArray &message);
    // Empty when a name or the server's information is too long for the message's fields.
    static QByteArray authenticateMessage(const Challenge &challenge,
                                          const Credentials &credentials);

    // The steps of the answer, with the client's time (Windows file time) and nonce given.
    static QByteArray ntowfv2(const QString &password, const QString &user, const QString &domain);
    static Responses responses(const QByteArray &responseKey, const Challenge &challenge,
                               quint64 time, const QByteArray &clientChallenge);
    static QByteArray authenticateMessage(const Challenge &challenge,
                                          const Credentials &credentials, quint64 time,
                                          const QByteArray &clientChallenge);
};
