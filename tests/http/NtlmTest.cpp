#include "http/Ntlm.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"

#include "RequestRecorder.h"
#include "common/TestSupport.h"
#include "fakes/http/FakeHttpServer.h"

#include <gtest/gtest.h>

#include <QMessageAuthenticationCode>
#include <QtEndian>

namespace {

QByteArray utf16le(const QString &text)
{
    QByteArray bytes;
    for (QChar c : text) {
        bytes += char(c.unicode() & 0xff);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

QByteArray avPair(quint16 id, const QByteArray &value)
{
    QByteArray pair(4, '\0');
    qToLittleEndian(id, pair.data());
    qToLittleEndian(quint16(value.size()), pair.data() + 2);
    return pair + value;
}

// The target information of the published NTLMv2 example: domain "Domain", server "Server".
QByteArray exampleTargetInfo()
{
    return avPair(2, utf16le("Domain")) + avPair(1, utf16le("Server")) + avPair(0, {});
}

TEST(NtlmTest, PublishedNtlmV2ExampleGivesItsBytes)
{
    const QByteArray key = Ntlm::ntowfv2("Password", "User", "Domain");
    EXPECT_EQ(key.toHex(), "0c868a403bfd7a93a3001ef22ef02e3f");
    Ntlm::Challenge challenge;
    challenge.serverChallenge = QByteArray::fromHex("0123456789abcdef");
    challenge.targetInfo = exampleTargetInfo();
    const QByteArray client = QByteArray::fromHex("aaaaaaaaaaaaaaaa");
    const Ntlm::Responses answer = Ntlm::responses(key, challenge, 0, client);
    EXPECT_EQ(answer.lm.toHex(), "86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa");
    EXPECT_EQ(answer.nt.left(16).toHex(), "68cd0ab851e51c96aabc927bebef6a1c");
    EXPECT_EQ(answer.nt.mid(16).toHex(), "0101000000000000"
                                         "0000000000000000"
                                         "aaaaaaaaaaaaaaaa"
                                         "00000000" +
                                             exampleTargetInfo().toHex() + "00000000");
    EXPECT_EQ(answer.sessionBaseKey.toHex(), "8de40ccadbc14a82f15cb0ad0de95ca3");

    // Broken challenge messages are refused rather than read past their end.
    QByteArray message = QByteArray("NTLMSSP\0", 8) + QByteArray::fromHex("02000000") +
                         QByteArray(12, '\0') + challenge.serverChallenge + QByteArray(16, '\0');
    ASSERT_TRUE(Ntlm::parseChallengeMessage(message));
    message[40] = char(0xff); // target information longer than the message
    EXPECT_FALSE(Ntlm::parseChallengeMessage(message));
    EXPECT_FALSE(Ntlm::parseChallengeMessage("NTLMSSP"));
    // An answer that would not fit its 16-bit length field is not made at all.
    challenge.targetInfo = avPair(2, QByteArray(65500, 'd')) + avPair(0, {});
    EXPECT_TRUE(Ntlm::authenticateMessage(challenge, {"User", "Password", "Domain"}).isEmpty());
}

// The server side of an NTLM handshake for User / Password in Domain, on one connection.
class NtlmServer
{
public:
    QByteArray password = "Password";
    int connectionOfNegotiate = 0;

    FakeReply answer(const RecordedRequest &request)
    {
        const QByteArray header = request.header("Authorization");
        if (!header.startsWith("NTLM "))
            return challenge("NTLM");
        const QByteArray message = QByteArray::fromBase64(header.mid(5));
        const quint32 type = qFromLittleEndian<quint32>(message.constData() + 8);
        if (type == 1) {
            connectionOfNegotiate = request.connection;
            return challenge("NTLM " + challengeMessage().toBase64());
        }
        if (type == 3 && request.connection == connectionOfNegotiate && valid(message))
            return FakeReply::ok("welcome");
        return challenge("NTLM");
    }

private:
    static FakeReply challenge(const QByteArray &value)
    {
        FakeReply reply;
        reply.status = 401;
        reply.reason = "Unauthorized";
        reply.withHeader("WWW-Authenticate", value);
        reply.withHeader("WWW-Authenticate", "Basic realm=\"films\"");
        return reply;
    }

    static QByteArray challengeMessage()
    {
        QByteArray message = QByteArray("NTLMSSP\0", 8) + QByteArray::fromHex("02000000") +
                             QByteArray::fromHex("000000003800000033828ae2") +
                             QByteArray::fromHex("0123456789abcdef") + QByteArray(8, '\0');
        QByteArray info(8, '\0');
        qToLittleEndian(quint16(exampleTargetInfo().size()), info.data());
        qToLittleEndian(quint16(exampleTargetInfo().size()), info.data() + 2);
        qToLittleEndian(quint32(56), info.data() + 4);
        return message + info + QByteArray(8, '\0') + exampleTargetInfo();
    }

    static QByteArray field(const QByteArray &message, int at)
    {
        const quint16 length = qFromLittleEndian<quint16>(message.constData() + at);
        const quint32 offset = qFromLittleEndian<quint32>(message.constData() + at + 4);
        return message.mid(offset, length);
    }

    bool valid(const QByteArray &message) const
    {
        const QByteArray nt = field(message, 20);
        const QByteArray key = Ntlm::ntowfv2(QString::fromUtf8(password), "User", "Domain");
        const QByteArray proof = QMessageAuthenticationCode::hash(
            QByteArray::fromHex("0123456789abcdef") + nt.mid(16), key, QCryptographicHash::Md5);
        return field(message, 28) == utf16le("Domain") && field(message, 36) == utf16le("User") &&
               nt.left(16) == proof;
    }
};

TEST(NtlmTest, HandshakeTakesTwoLegsOnOneConnectionAndAThirdChallengeFails)
{
    for (const char *password : {"Password", "wrong"}) {
        FakeHttpServer server;
        NtlmServer ntlm;
        server.setHandler([&](const RecordedRequest &request) { return ntlm.answer(request); });
        RequestRecorder recorder;
        auto request = HTTPRequest::requestWithURL(server.url("/private"));
        request->setUsername("User");
        request->setPassword(password);
        request->setDomain("Domain");
        request->setDelegate(&recorder);
        request->start();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.ended(); }, 10000));
        EXPECT_EQ(request->authenticationScheme(), "NTLM") << password;
        EXPECT_EQ(server.requests().size(), 3) << password;
        EXPECT_EQ(request->authenticationRetryCount(), 2) << password;
        if (QByteArray(password) == "Password") {
            EXPECT_EQ(recorder.lastBody, "welcome");
        } else {
            EXPECT_EQ(recorder.calls.last(), "failed");
            EXPECT_EQ(recorder.lastError, HTTPRequestError::authenticationNeeded());
        }
        HTTPRequest::clearSession();
    }
}

} // namespace
