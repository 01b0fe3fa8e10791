#include "http/Ntlm.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QtEndian>

namespace {

const QByteArray Signature("NTLMSSP\0", 8);

constexpr quint32 NegotiateUnicode = 0x00000001;
constexpr quint32 NegotiateOem = 0x00000002;
constexpr quint32 RequestTarget = 0x00000004;
constexpr quint32 NegotiateNtlm = 0x00000200;
constexpr quint32 AlwaysSign = 0x00008000;
constexpr quint32 ExtendedSessionSecurity = 0x00080000;
constexpr quint32 OurFlags = NegotiateUnicode | NegotiateOem | RequestTarget | NegotiateNtlm |
                             AlwaysSign | ExtendedSessionSecurity;

constexpr quint16 AvEol = 0;
constexpr quint16 AvTimestamp = 7;

// Seconds from 1601 to 1970, in the 100 ns ticks of a Windows file time.
constexpr quint64 FileTimeOf1970 = 116444736000000000ULL;

template <typename T> void appendLittle(QByteArray &bytes, T value)
{
    char raw[sizeof(T)];
    qToLittleEndian(value, raw);
    bytes.append(raw, sizeof(T));
}

quint16 little16(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 little32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

QByteArray utf16le(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar c : text)
        appendLittle<quint16>(bytes, c.unicode());
    return bytes;
}

QByteArray hmacMd5(const QByteArray &key, const QByteArray &data)
{
    return QMessageAuthenticationCode::hash(data, key, QCryptographicHash::Md5);
}

// The bytes a field descriptor (length, room, offset) points at, or nullopt when outside.
std::optional<QByteArray> field(const QByteArray &message, qsizetype descriptor)
{
    if (message.size() < descriptor + 8)
        return std::nullopt;
    const quint16 length = little16(message, descriptor);
    const quint32 offset = little32(message, descriptor + 4);
    if (length == 0)
        return QByteArray();
    if (offset > quint32(message.size()) || length > message.size() - qsizetype(offset))
        return std::nullopt;
    return message.mid(offset, length);
}

// Finds the timestamp among the target information's pairs; false when they run past the end.
bool readTimestamp(const QByteArray &targetInfo, std::optional<QByteArray> &timestamp)
{
    qsizetype at = 0;
    while (at + 4 <= targetInfo.size()) {
        const quint16 id = little16(targetInfo, at);
        const quint16 length = little16(targetInfo, at + 2);
        if (at + 4 + length > targetInfo.size())
            return false;
        if (id == AvEol)
            return true;
        if (id == AvTimestamp && length == 8)
            timestamp = targetInfo.mid(at + 4, 8);
        at += 4 + length;
    }
    return at == targetInfo.size();
}

} // namespace

QByteArray Ntlm::negotiateMessage()
{
    QByteArray message = Signature;
    appendLittle<quint32>(message, 1);
    appendLittle<quint32>(message, OurFlags);
    // No domain or workstation names: both fields empty, pointing at the end.
    for (int i = 0; i < 2; ++i) {
        appendLittle<quint16>(message, 0);
        appendLittle<quint16>(message, 0);
        appendLittle<quint32>(message, 32);
    }
    return message;
}

std::optional<Ntlm::Challenge> Ntlm::parseChallengeMessage(const QByteArray &message)
{
    if (message.size() < 32 || !message.startsWith(Signature) || little32(message, 8) != 2)
        return std::nullopt;
    Challenge challenge;
    challenge.flags = little32(message, 20);
    challenge.serverChallenge = message.mid(24, 8);
    if (message.size() >= 48) {
        const auto info = field(message, 40);
        if (!info)
            return std::nullopt;
        challenge.targetInfo = *info;
    }
    if (!readTimestamp(challenge.targetInfo, challenge.timestamp))
        return std::nullopt;
    return challenge;
}

QByteArray Ntlm::ntowfv2(const QString &password, const QString &user, const QString &domain)
{
    const QByteArray ntowfv1 = QCryptographicHash::hash(utf16le(password), QCryptographicHash::Md4);
    return hmacMd5(ntowfv1, utf16le(user.toUpper() + domain));
}

Ntlm::Responses Ntlm::responses(const QByteArray &responseKey, const Challenge &challenge,
                                quint64 time, const QByteArray &clientChallenge)
{
    QByteArray temp("\x01\x01\0\0\0\0\0\0", 8);
    appendLittle(temp, time);
    temp += clientChallenge;
    temp += QByteArray(4, '\0');
    temp += challenge.targetInfo;
    temp += QByteArray(4, '\0');
    const QByteArray proof = hmacMd5(responseKey, challenge.serverChallenge + temp);
    Responses result;
    result.nt = proof + temp;
    // With a server timestamp the LMv2 answer is left empty, as the server then expects.
    result.lm =
        challenge.timestamp
            ? QByteArray(24, '\0')
            : hmacMd5(responseKey, challenge.serverChallenge + clientChallenge) + clientChallenge;
    result.sessionBaseKey = hmacMd5(responseKey, proof);
    return result;
}

QByteArray Ntlm::authenticateMessage(const Challenge &challenge, const Credentials &credentials)
{
    quint64 time = FileTimeOf1970 + quint64(QDateTime::currentMSecsSinceEpoch()) * 10000;
    if (challenge.timestamp)
        time = qFromLittleEndian<quint64>(challenge.timestamp->constData());
    QByteArray clientChallenge(8, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(clientChallenge.data()), 2);
    return authenticateMessage(challenge, credentials, time, clientChallenge);
}

QByteArray Ntlm::authenticateMessage(const Challenge &challenge, const Credentials &credentials,
                                     quint64 time, const QByteArray &clientChallenge)
{
    // "DOMAIN\user" names its domain itself when none is given apart.
    QString user = credentials.username;
    QString domain = credentials.domain;
    if (const qsizetype slash = user.indexOf(QLatin1Char('\\')); slash >= 0 && domain.isEmpty()) {
        domain = user.left(slash);
        user = user.mid(slash + 1);
    }
    const Responses answer =
        responses(ntowfv2(credentials.password, user, domain), challenge, time, clientChallenge);
    const QList<QByteArray> payload = {answer.lm,     answer.nt,    utf16le(domain),
                                       utf16le(user), QByteArray(), QByteArray()};
    for (const QByteArray &part : payload) {
        if (part.size() > 0xffff)
            return {};
    }
    QByteArray message = Signature;
    appendLittle<quint32>(message, 3);
    quint32 offset = 64;
    for (const QByteArray &part : payload) {
        appendLittle<quint16>(message, quint16(part.size()));
        appendLittle<quint16>(message, quint16(part.size()));
        appendLittle<quint32>(message, offset);
        offset += quint32(part.size());
    }
    appendLittle<quint32>(message, (challenge.flags & OurFlags) | NegotiateUnicode | NegotiateNtlm);
    for (const QByteArray &part : payload)
        message += part;
    return message;
}
