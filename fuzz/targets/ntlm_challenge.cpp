// The server's NTLM Challenge message, as the Base64 of a "WWW-Authenticate" value decodes,
// and the Authenticate message answering it.
#include "FuzzSupport.h"
#include "http/Ntlm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<Ntlm::Challenge> challenge =
        Ntlm::parseChallengeMessage(Fuzz::bytes(data, size));
    if (!challenge)
        return 0;
    FUZZ_CHECK(challenge->serverChallenge.size() == 8);
    const QByteArray answer = Ntlm::authenticateMessage(
        *challenge, {QStringLiteral("User"), QStringLiteral("Pass\u00e9"), QStringLiteral("Dom")});
    FUZZ_CHECK(answer.isEmpty() || answer.startsWith(QByteArray("NTLMSSP\0\3\0\0\0", 12)));
    return 0;
}
