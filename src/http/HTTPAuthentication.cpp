#include "http/HTTPAuthentication.h"

#include "http/HTTPMessage.h"
#include "http/HTTPResponseHead.h"
#include "http/Ntlm.h"

#include <QCryptographicHash>
#include <QList>
#include <QRandomGenerator>

#include <cctype>
#include <cstring>

namespace {

bool isTokenChar(char c)
{
    return c > ' ' && c < 127 && !QByteArray("()<>@,;:\\\"/[]?={}").contains(c);
}

QByteArray quoted(const QByteArray &text)
{
    QByteArray escaped = text;
    escaped.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + escaped + '"';
}

// Digest algorithms this engine computes, by their lower-case names.
std::optional<QCryptographicHash::Algorithm> digestAlgorithm(const QByteArray &name)
{
    const QByteArray base = name.toLower().chopped(name.toLower().endsWith("-sess") ? 5 : 0);
    if (base.isEmpty() || base == "md5")
        return QCryptographicHash::Md5;
    if (base == "sha-256")
        return QCryptographicHash::Sha256;
    return std::nullopt;
}

bool offersQopAuth(const QByteArray &qop)
{
    for (const QByteArray &option : qop.split(','))
        if (option.trimmed().toLower() == "auth")
            return true;
    return false;
}

bool speaks(const QByteArray &scheme, const QMap<QByteArray, QByteArray> &parameters)
{
    if (scheme == "basic" || scheme == "ntlm")
        return true;
    if (scheme != "digest" || !parameters.contains("nonce") ||
        !digestAlgorithm(parameters.value("algorithm")))
        return false;
    return !parameters.contains("qop") || offersQopAuth(parameters.value("qop"));
}

// NTLM over Digest over Basic.
int strength(const QByteArray &scheme)
{
    return scheme == "ntlm" ? 3 : scheme == "digest" ? 2 : 1;
}

} // namespace

QList<HTTPAuthentication::Challenge>
HTTPAuthentication::parseChallenges(const QList<QByteArray> &values)
{
    QList<Challenge> challenges;
    for (const QByteArray &value : values) {
        qsizetype at = 0;
        const auto skip = [&](const char *characters) {
            while (at < value.size() && std::strchr(characters, value.at(at)))
                ++at;
        };
        const auto token = [&] {
            const qsizetype from = at;
            while (at < value.size() && isTokenChar(value.at(at)))
                ++at;
            return value.mid(from, at - from);
        };
        while (at < value.size()) {
            skip(" \t,");
            const QByteArray name = token();
            if (name.isEmpty()) {
                ++at;
                continue;
            }
            skip(" \t");
            if (at < value.size() && value.at(at) == '=' && !challenges.isEmpty()) {
                ++at;
                skip(" \t");
                QByteArray parameter;
                if (at < value.size() && value.at(at) == '"') {
                    for (++at; at < value.size() && value.at(at) != '"'; ++at) {
                        if (value.at(at) == '\\' && at + 1 < value.size())
                            ++at;
                        parameter += value.at(at);
                    }
                    ++at;
                } else {
                    parameter = token();
                    // token68 padding such as "abc=="
                    skip("=");
                }
                challenges.last().parameters.insert(name.toLower(), parameter);
            } else {
                challenges.append({name.toLower(), {}});
                // NTLM carries its message as one Base64 token after the scheme.
                if (challenges.last().scheme == "ntlm") {
                    const qsizetype from = at;
                    while (at < value.size() &&
                           (std::isalnum(uchar(value.at(at))) || std::strchr("+/=", value.at(at))))
                        ++at;
                    if (at > from)
                        challenges.last().parameters.insert("token", value.mid(from, at - from));
                }
            }
        }
    }
    return challenges;
}

std::optional<HTTPAuthentication::Challenge>
HTTPAuthentication::strongest(const QList<Challenge> &challenges)
{
    std::optional<Challenge> best;
    for (const Challenge &challenge : challenges) {
        if (!speaks(challenge.scheme, challenge.parameters))
            continue;
        if (!best || strength(challenge.scheme) > strength(best->scheme))
            best = challenge;
    }
    return best;
}

std::shared_ptr<HTTPAuthentication>
HTTPAuthentication::createFromResponse(const HTTPResponseHead &head, bool proxy)
{
    const auto best =
        strongest(parseChallenges(head.values(proxy ? "Proxy-Authenticate" : "Www-Authenticate")));
    if (!best)
        return nullptr;
    auto made = std::make_shared<HTTPAuthentication>();
    made->m_proxy = proxy;
    made->m_challenge = *best;
    return made;
}

QString HTTPAuthentication::method() const
{
    if (isNtlm())
        return QStringLiteral("NTLM");
    return m_challenge.scheme == "digest" ? QStringLiteral("Digest") : QStringLiteral("Basic");
}

QString HTTPAuthentication::realm() const
{
    const auto realm = m_challenge.parameters.constFind("realm");
    return realm == m_challenge.parameters.cend() ? QString() : QString::fromUtf8(*realm);
}

bool HTTPAuthentication::isValid(Rejection *why) const
{
    if (why)
        *why = m_rejection;
    return m_rejection == Rejection::None;
}

QByteArray HTTPAuthentication::basicAuthorization(const QString &username, const QString &password)
{
    return "Basic " + QStringLiteral("%1:%2").arg(username, password).toUtf8().toBase64();
}

bool HTTPAuthentication::apply(HTTPMessage &message, const Credentials &credentials)
{
    if (!isValid() || credentials.username.isNull() || credentials.password.isNull())
        return false;
    QByteArray value;
    if (isNtlm())
        value = ntlmAuthorization(credentials);
    else if (m_challenge.scheme == "digest")
        value = digestAuthorization(message, credentials);
    else
        value = basicAuthorization(credentials.username, credentials.password);
    if (value.isEmpty() ||
        !message.setHeader(m_proxy ? "Proxy-Authorization" : "Authorization", value))
        return false;
    m_applied = true;
    return true;
}

void HTTPAuthentication::update(const HTTPResponseHead &head)
{
    const QList<Challenge> offered =
        parseChallenges(head.values(m_proxy ? "Proxy-Authenticate" : "Www-Authenticate"));
    std::optional<Challenge> same;
    for (const Challenge &challenge : offered)
        if (challenge.scheme == m_challenge.scheme &&
            speaks(challenge.scheme, challenge.parameters))
            same = challenge;
    if (!same) {
        m_rejection = Rejection::Other;
        return;
    }
    if (isNtlm()) {
        updateNtlm(*same);
        return;
    }
    if (!m_applied) {
        m_challenge = *same;
        return;
    }
    const bool stale = same->parameters.value("stale").toLower() == "true";
    if (m_challenge.scheme == "digest" && stale && !m_staleHonoured) {
        m_staleHonoured = true;
        m_challenge = *same;
        m_nonceCount = 0;
        m_applied = false;
        return;
    }
    m_rejection = Rejection::BadPassword;
}

QByteArray HTTPAuthentication::hash(const QByteArray &text) const
{
    return QCryptographicHash::hash(text,
                                    *digestAlgorithm(m_challenge.parameters.value("algorithm")))
        .toHex();
}

QByteArray HTTPAuthentication::digestAuthorization(const HTTPMessage &message,
                                                   const Credentials &credentials)
{
    const QMap<QByteArray, QByteArray> &p = m_challenge.parameters;
    const QByteArray nonce = p.value("nonce");
    const QByteArray realm = p.value("realm");
    const QByteArray user = credentials.username.toUtf8();
    const QByteArray cnonce =
        QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
    // The CONNECT of a tunnel names host and port; everything else its path and query.
    const QByteArray uri =
        m_proxy && message.isHttps()
            ? message.url().host().toUtf8() + ':' + QByteArray::number(message.port())
            : message.url().toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority |
                                      QUrl::RemoveFragment);
    const QByteArray path = uri.isEmpty() ? QByteArray("/") : uri;
    QByteArray ha1 = hash(user + ':' + realm + ':' + credentials.password.toUtf8());
    if (p.value("algorithm").toLower().endsWith("-sess"))
        ha1 = hash(ha1 + ':' + nonce + ':' + cnonce);
    const QByteArray ha2 = hash(message.method() + ':' + path);
    const bool qop = p.contains("qop");
    const QByteArray nc = QByteArray::number(++m_nonceCount, 16).rightJustified(8, '0');
    const QByteArray response =
        qop ? hash(ha1 + ':' + nonce + ':' + nc + ':' + cnonce + ":auth:" + ha2)
            : hash(ha1 + ':' + nonce + ':' + ha2);
    QByteArray header = "Digest username=" + quoted(user) + ", realm=" + quoted(realm) +
                        ", nonce=" + quoted(nonce) + ", uri=" + quoted(path) +
                        ", response=" + quoted(response);
    if (p.contains("algorithm"))
        header += ", algorithm=" + p.value("algorithm");
    if (p.contains("opaque"))
        header += ", opaque=" + quoted(p.value("opaque"));
    if (qop)
        header += ", qop=auth, nc=" + nc + ", cnonce=" + quoted(cnonce);
    return header;
}

QByteArray HTTPAuthentication::ntlmAuthorization(const Credentials &credentials)
{
    // Each handshake begins anew: a stored answer belongs to the connection it was made on.
    if (!m_ntlmChallenge || m_ntlmAuthenticated) {
        m_ntlmChallenge.reset();
        m_ntlmAuthenticated = false;
        return "NTLM " + Ntlm::negotiateMessage().toBase64();
    }
    m_ntlmAuthenticated = true;
    const QByteArray message = Ntlm::authenticateMessage(*m_ntlmChallenge, credentials);
    return message.isEmpty() ? QByteArray() : "NTLM " + message.toBase64();
}

void HTTPAuthentication::updateNtlm(const Challenge &offered)
{
    if (!m_applied)
        return;
    // After the Negotiate message the server's Challenge message comes; anything else after
    // it, or after the Authenticate message, refuses the credentials.
    const auto challenge = m_ntlmAuthenticated ? std::nullopt
                                               : Ntlm::parseChallengeMessage(QByteArray::fromBase64(
                                                     offered.parameters.value("token")));
    if (!challenge) {
        m_rejection = Rejection::BadPassword;
        return;
    }
    m_ntlmChallenge = challenge;
}
