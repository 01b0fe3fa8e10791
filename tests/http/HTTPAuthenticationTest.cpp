#include "http/HTTPAuthentication.h"
#include "http/HTTPMessage.h"
#include "http/HTTPResponseHead.h"

#include <gtest/gtest.h>

namespace {

HTTPResponseHead challengeHead(const QList<QByteArray> &values, bool proxy = false)
{
    HTTPResponseHead head;
    head.setStatus(proxy ? "HTTP/1.1 407 Proxy Authentication Required" : "HTTP/1.1 401 No",
                   "HTTP/1.1", proxy ? 407 : 401);
    for (const QByteArray &value : values)
        head.addField(proxy ? "Proxy-Authenticate" : "WWW-Authenticate", value);
    return head;
}

HTTPMessage message(const char *url)
{
    return *HTTPMessage::create("GET", QUrl(url), "HTTP/1.1");
}

} // namespace

TEST(HTTPAuthenticationTest, StrongestSpokenSchemeIsChosenFromEveryChallengeOffered)
{
    const auto digest = HTTPAuthentication::createFromResponse(
        challengeHead({"Negotiate abc==, Basic realm=\"a, \\\"quoted\\\" realm\"",
                       "Digest realm=\"films\", nonce=\"n1\", qop=\"auth-int,auth\""}),
        false);
    ASSERT_TRUE(digest);
    EXPECT_EQ(digest->method(), "Digest");
    EXPECT_EQ(digest->realm(), "films");

    const auto basic = HTTPAuthentication::createFromResponse(
        challengeHead({"Digest realm=\"x\", nonce=\"n\", algorithm=SHA-512-256",
                       "Digest realm=\"y\", nonce=\"n\", qop=\"auth-int\"",
                       "Basic realm=\"a, \\\"quoted\\\" realm\""}),
        false);
    ASSERT_TRUE(basic);
    EXPECT_EQ(basic->method(), "Basic");
    EXPECT_EQ(basic->realm(), "a, \"quoted\" realm");

    const auto ntlm = HTTPAuthentication::createFromResponse(
        challengeHead(
            {"Basic realm=\"r\"", "Negotiate", "NTLM", "Digest realm=\"films\", nonce=\"n1\""}),
        false);
    ASSERT_TRUE(ntlm);
    EXPECT_EQ(ntlm->method(), "NTLM");
    EXPECT_TRUE(ntlm->requiresAccountDomain());
    EXPECT_FALSE(HTTPAuthentication::createFromResponse(challengeHead({"Negotiate"}), false));
    EXPECT_FALSE(HTTPAuthentication::createFromResponse(challengeHead({}), false));
    // A proxy's challenge is read from its own field only.
    EXPECT_FALSE(
        HTTPAuthentication::createFromResponse(challengeHead({"Basic realm=\"r\""}), true));
}

TEST(HTTPAuthenticationTest, CredentialsGoIntoTheFieldOfWhoeverAsked)
{
    auto server =
        HTTPAuthentication::createFromResponse(challengeHead({"Basic realm=\"r\""}), false);
    auto proxy =
        HTTPAuthentication::createFromResponse(challengeHead({"basic realm=\"p\""}, true), true);
    HTTPMessage sent = message("http://host/a");
    ASSERT_TRUE(server->apply(sent, Credentials{"Ännä", "pä:ss", {}}));
    ASSERT_TRUE(proxy->apply(sent, Credentials{"p", "q", {}}));
    EXPECT_EQ(sent.header("Authorization"), "Basic " + QByteArray("Ännä:pä:ss").toBase64());
    EXPECT_EQ(sent.header("Proxy-Authorization"), "Basic cDpx");
    EXPECT_FALSE(server->apply(sent, Credentials{"only a name", {}, {}}));
}

TEST(HTTPAuthenticationTest, ANewChallengeRefusesAppliedCredentialsButAStaleNonceOnlyOnce)
{
    const auto first = challengeHead({"Digest realm=\"r\", nonce=\"one\""});
    auto digest = HTTPAuthentication::createFromResponse(first, false);
    HTTPMessage sent = message("http://host/dir/file?q=1");
    ASSERT_TRUE(digest->apply(sent, Credentials{"u", "p", {}}));
    const QByteArray header = *sent.header("Authorization");
    EXPECT_TRUE(header.contains("uri=\"/dir/file?q=1\""));
    EXPECT_TRUE(header.contains("nonce=\"one\""));
    EXPECT_FALSE(header.contains("qop="));

    digest->update(challengeHead({"Digest realm=\"r\", nonce=\"two\", stale=true"}));
    EXPECT_TRUE(digest->isValid());
    ASSERT_TRUE(digest->apply(sent, Credentials{"u", "p", {}}));
    EXPECT_TRUE(sent.header("Authorization")->contains("nonce=\"two\""));

    digest->update(challengeHead({"Digest realm=\"r\", nonce=\"three\", stale=true"}));
    HTTPAuthentication::Rejection why = HTTPAuthentication::Rejection::None;
    EXPECT_FALSE(digest->isValid(&why));
    EXPECT_EQ(why, HTTPAuthentication::Rejection::BadPassword);
    EXPECT_FALSE(digest->apply(sent, Credentials{"u", "p", {}}));

    auto basic =
        HTTPAuthentication::createFromResponse(challengeHead({"Basic realm=\"r\""}), false);
    basic->update(challengeHead({"Negotiate"}));
    EXPECT_FALSE(basic->isValid(&why));
    EXPECT_EQ(why, HTTPAuthentication::Rejection::Other);
}
