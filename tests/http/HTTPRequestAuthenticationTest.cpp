#include "http/CredentialStorage.h"
#include "http/HTTPAuthentication.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"
#include "http/SessionCredentialStore.h"
#include "http/SystemProxies.h"

#include "RequestRecorder.h"
#include "common/TestSupport.h"
#include "fakes/http/FakeHttpServer.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QTemporaryDir>

namespace {

const QByteArray GoodBasic = HTTPAuthentication::basicAuthorization("ann", "secret");

FakeReply challenge(int status, const QByteArray &field, const QByteArray &value)
{
    FakeReply reply;
    reply.status = status;
    reply.reason = status == 401 ? "Unauthorized" : "Proxy Authentication Required";
    reply.body = "who are you?";
    reply.withHeader(field, value);
    return reply;
}

// Accepts Basic ann:secret and challenges everything else.
FakeReply basicGate(const RecordedRequest &request)
{
    if (request.header("Authorization") == GoodBasic)
        return FakeReply::ok("welcome");
    return challenge(401, "WWW-Authenticate", "Basic realm=\"subtitles\"");
}

void run(const std::shared_ptr<HTTPRequest> &request, RequestRecorder &recorder)
{
    request->setDelegate(&recorder);
    request->start();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return recorder.ended(); }, 10000));
    TestSupport::processEventsFor(20);
}

// A delegate that answers credential questions with the pair it was given, or refuses.
class CredentialGiver : public RequestRecorder
{
    Q_OBJECT

public:
    QString username;
    QString password;
    int questions = 0;
    int proxyQuestions = 0;

public Q_SLOTS:
    void authenticationNeededForRequest(HTTPRequest *request)
    {
        ++questions;
        if (username.isNull()) {
            request->cancelAuthentication();
            return;
        }
        request->setUsername(username);
        request->setPassword(password);
        request->retryUsingSuppliedCredentials();
    }
    void proxyAuthenticationNeededForRequest(HTTPRequest *request)
    {
        ++proxyQuestions;
        request->setProxyUsername(username);
        request->setProxyPassword(password);
        request->retryUsingSuppliedCredentials();
    }
};

// Takes every credential question and never answers.
class Waiter : public RequestRecorder
{
    Q_OBJECT

public:
    int questions = 0;

public Q_SLOTS:
    void authenticationNeededForRequest(HTTPRequest *) { ++questions; }
};

// Checks Digest answers as a server would: MD5, qop "auth", one nonce.
class DigestServer
{
public:
    QByteArray nonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
    bool staleOnce = false;

    FakeReply answer(const RecordedRequest &request)
    {
        const QByteArray header = request.header("Authorization");
        if (header.startsWith("Digest ") && valid(request, header)) {
            if (staleOnce) {
                staleOnce = false;
                nonce = "a-fresh-nonce";
                return challenge(401, "WWW-Authenticate", offer() + ", stale=true");
            }
            return FakeReply::ok("digest welcome");
        }
        return challenge(401, "WWW-Authenticate", offer());
    }

private:
    QByteArray offer() const
    {
        return "Basic realm=\"films\", Digest realm=\"films\", qop=\"auth,auth-int\", nonce=\"" +
               nonce + "\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";
    }

    static QByteArray md5(const QByteArray &text)
    {
        return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
    }

    static QByteArray field(const QByteArray &header, const QByteArray &name)
    {
        const qsizetype at = header.indexOf(", " + name + '=') >= 0
                                 ? header.indexOf(", " + name + '=') + name.size() + 3
                                 : header.indexOf(' ' + name + '=') + name.size() + 2;
        const bool quoted = header.at(at) == '"';
        const qsizetype end = quoted ? header.indexOf('"', at + 1) : header.indexOf(',', at);
        return header.mid(at + (quoted ? 1 : 0),
                          (end < 0 ? header.size() : end) - at - (quoted ? 1 : 0));
    }

    bool valid(const RecordedRequest &request, const QByteArray &header) const
    {
        const QByteArray ha1 = md5("ann:films:secret");
        const QByteArray ha2 = md5(request.method + ':' + request.target);
        const QByteArray expected = md5(ha1 + ':' + nonce + ':' + field(header, "nc") + ':' +
                                        field(header, "cnonce") + ":auth:" + ha2);
        return field(header, "nonce") == nonce && field(header, "uri") == request.target &&
               field(header, "opaque") == "5ccc069c403ebaf9f0171e9517f40e41" &&
               field(header, "response") == expected;
    }
};

} // namespace

TEST(HTTPRequestAuthenticationTest, BasicCredentialsGoOutBeforeAnyChallengeAndAreRemembered)
{
    HTTPRequest::clearSession();
    FakeHttpServer server;
    server.setHandler(basicGate);

    RequestRecorder first;
    auto request = HTTPRequest::requestWithURL(server.url("/private"));
    request->setUsername("ann");
    request->setPassword("secret");
    run(request, first);
    EXPECT_EQ(first.calls.last(), "finished");
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.lastRequest().header("Authorization"), GoodBasic);

    // A later request to the same place sends them without being given any.
    RequestRecorder second;
    run(HTTPRequest::requestWithURL(server.url("/private")), second);
    EXPECT_EQ(second.lastBody, "welcome");
    EXPECT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.lastRequest().header("Authorization"), GoodBasic);
}

TEST(HTTPRequestAuthenticationTest, CredentialsStayWithTheirOrigin)
{
    HTTPRequest::clearSession();
    FakeHttpServer origin;
    FakeHttpServer elsewhere;
    elsewhere.setReply("/landing", FakeReply::ok("landed"));
    origin.setHandler([&](const RecordedRequest &request) {
        if (request.path() == "/same")
            return FakeReply::redirect(302, "/private");
        if (request.path() == "/private")
            return basicGate(request);
        const int status = request.path().mid(1).toInt();
        return FakeReply::redirect(status, elsewhere.url("/landing").toEncoded());
    });
    for (const char *path : {"/302", "/307"}) {
        RequestRecorder recorder;
        auto request = HTTPRequest::requestWithURL(origin.url(path));
        request->setUsername("ann");
        request->setPassword("secret");
        request->addRequestHeader("Authorization", QString::fromLatin1(GoodBasic));
        run(request, recorder);
        EXPECT_EQ(recorder.lastBody, "landed") << path;
        EXPECT_EQ(origin.lastRequest().header("Authorization"), GoodBasic) << path;
        EXPECT_TRUE(elsewhere.lastRequest().header("Authorization").isNull()) << path;
        EXPECT_TRUE(request->username().isNull()) << path;
    }
    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(origin.url("/same"));
    request->setUsername("ann");
    request->setPassword("secret");
    run(request, recorder);
    EXPECT_EQ(recorder.lastBody, "welcome");
    HTTPRequest::clearSession();
}

TEST(HTTPRequestAuthenticationTest, DomainCredentialsAreNeverSentOrRememberedAsBasic)
{
    HTTPRequest::clearSession();
    FakeHttpServer server;
    server.setReply("/open", FakeReply::ok("open"));

    // The domain in its own field, or in the user name.
    for (const auto &[username, domain] : {std::pair<QString, QString>{"ann", "OFFICE"},
                                           std::pair<QString, QString>{"OFFICE\\ann", ""}}) {
        RequestRecorder recorder;
        auto request = HTTPRequest::requestWithURL(server.url("/open"));
        request->setUsername(username);
        request->setPassword("secret");
        request->setDomain(domain);
        run(request, recorder);
        EXPECT_EQ(recorder.lastBody, "open");
        EXPECT_TRUE(server.lastRequest().header("Authorization").isNull()) << qPrintable(username);
        EXPECT_TRUE(SessionCredentialStore::sessionCredentialsStore().isEmpty());
    }
}

TEST(HTTPRequestAuthenticationTest, ChallengeIsAnsweredFromTheUrlBeforeTheRequestsOwnPair)
{
    HTTPRequest::clearSession();
    FakeHttpServer server;
    server.setHandler(basicGate);
    QUrl url = server.url("/private");
    url.setUserName("ann");
    url.setPassword("secret");

    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(url);
    request->setUsername("bob");
    request->setPassword("wrong");
    request->setDomain("x"); // keeps the own pair from going out before the challenge
    run(request, recorder);
    EXPECT_EQ(recorder.lastBody, "welcome");
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_TRUE(server.requests().first().header("Authorization").isNull());
    EXPECT_EQ(request->authenticationScheme(), "Basic");
    EXPECT_EQ(request->authenticationRealm(), "subtitles");
    EXPECT_EQ(request->authenticationRetryCount(), 1);
    ASSERT_EQ(SessionCredentialStore::sessionCredentialsStore().size(), 1);
    EXPECT_EQ(SessionCredentialStore::sessionCredentialsStore().first().realm, "subtitles");
}

TEST(HTTPRequestAuthenticationTest, DigestIsPreferredAndAStaleNonceIsRenewedOnce)
{
    HTTPRequest::clearSession();
    FakeHttpServer server;
    DigestServer digest;
    digest.staleOnce = true;
    server.setHandler([&](const RecordedRequest &request) { return digest.answer(request); });

    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(server.url("/dir/index.html?x=1"));
    request->setUsername("ann");
    request->setPassword("secret");
    request->setShouldPresentCredentialsBeforeChallenge(false);
    run(request, recorder);
    EXPECT_EQ(recorder.lastBody, "digest welcome");
    EXPECT_EQ(request->authenticationScheme(), "Digest");
    // plain, digest (stale), digest with the new nonce
    EXPECT_EQ(server.requests().size(), 3);
    EXPECT_EQ(recorder.count("failed"), 0);
}

TEST(HTTPRequestAuthenticationTest, RefusedCredentialsAreForgottenAndTheRequestFails)
{
    HTTPRequest::clearSession();
    FakeHttpServer server;
    server.setHandler(basicGate);

    RequestRecorder good;
    auto first = HTTPRequest::requestWithURL(server.url("/private"));
    first->setUsername("ann");
    first->setPassword("secret");
    run(first, good);
    ASSERT_EQ(SessionCredentialStore::sessionCredentialsStore().size(), 1);

    // The password changed on the server: the remembered one is refused and dropped.
    server.setHandler([](const RecordedRequest &) {
        return challenge(401, "WWW-Authenticate", "Basic realm=\"subtitles\"");
    });
    RequestRecorder refused;
    run(HTTPRequest::requestWithURL(server.url("/private")), refused);
    EXPECT_EQ(refused.calls.last(), "failed");
    EXPECT_EQ(refused.lastError.code(), HTTPRequestError::AuthenticationNeeded);
    EXPECT_TRUE(SessionCredentialStore::sessionCredentialsStore().isEmpty());
    EXPECT_LE(server.requests().size(), 4);
}

TEST(HTTPRequestAuthenticationTest, UnknownOrMissingSchemesFailWithTheirOwnCodes)
{
    HTTPRequest::clearSession();
    FakeHttpServer server;
    server.setReply("/negotiate", challenge(401, "WWW-Authenticate", "Negotiate"));
    server.setReply("/basic", challenge(401, "WWW-Authenticate", "Basic realm=\"r\""));

    RequestRecorder unknown;
    run(HTTPRequest::requestWithURL(server.url("/negotiate")), unknown);
    EXPECT_EQ(unknown.lastError.code(), HTTPRequestError::InternalErrorWhileApplyingCredentials);
    EXPECT_EQ(unknown.lastError.localizedDescription(),
              "Failed to get authentication object from response headers");

    RequestRecorder nobody;
    run(HTTPRequest::requestWithURL(server.url("/basic")), nobody);
    EXPECT_EQ(nobody.calls, (QList<QByteArray>{"started", "headers", "failed"}));
    EXPECT_EQ(nobody.lastError.code(), HTTPRequestError::AuthenticationNeeded);
}

TEST(HTTPRequestAuthenticationTest, DelegateSuppliesRefusesOrInsistsAndIsAskedBeforeTheQueue)
{
    HTTPRequest::clearSession();
    FakeHttpServer server;
    server.setHandler(basicGate);

    CredentialGiver giver;
    giver.username = "ann";
    giver.password = "secret";
    run(HTTPRequest::requestWithURL(server.url("/a")), giver);
    EXPECT_EQ(giver.questions, 1);
    EXPECT_EQ(giver.lastBody, "welcome");

    HTTPRequest::clearSession();
    CredentialGiver refuser;
    run(HTTPRequest::requestWithURL(server.url("/b")), refuser);
    EXPECT_EQ(refuser.questions, 1);
    EXPECT_EQ(refuser.lastError.code(), HTTPRequestError::AuthenticationNeeded);

    // A delegate that takes no questions is not passed over for the queue.
    RequestRecorder silent;
    auto waiting = HTTPRequest::requestWithURL(server.url("/c"));
    CredentialGiver asker;
    waiting->setDelegate(&silent);
    waiting->setQueue(&asker);
    EXPECT_EQ(waiting->queue(), &asker);
    waiting->start();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return silent.ended(); }, 10000));
    EXPECT_EQ(asker.questions, 0);
    EXPECT_EQ(silent.lastError.code(), HTTPRequestError::AuthenticationNeeded);

    // One that keeps giving a wrong password is not asked forever.
    HTTPRequest::clearSession();
    CredentialGiver stubborn;
    stubborn.username = "ann";
    stubborn.password = "wrong";
    run(HTTPRequest::requestWithURL(server.url("/d")), stubborn);
    EXPECT_EQ(stubborn.calls.last(), "failed");
    EXPECT_EQ(stubborn.lastError.code(), HTTPRequestError::AuthenticationNeeded);
    EXPECT_GE(stubborn.questions, 2);
    EXPECT_LE(stubborn.questions, 6);
}

TEST(HTTPRequestAuthenticationTest, CancelEndsARequestWaitingForCredentials)
{
    HTTPRequest::clearSession();
    FakeHttpServer server;
    server.setHandler(basicGate);

    Waiter waiter;
    auto request = HTTPRequest::requestWithURL(server.url("/a"));
    request->setDelegate(&waiter);
    request->start();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return waiter.questions == 1; }));
    TestSupport::processEventsFor(100);
    EXPECT_FALSE(waiter.ended());
    request->cancel();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return waiter.ended(); }));
    EXPECT_EQ(waiter.lastError.code(), HTTPRequestError::RequestCancelled);
    EXPECT_TRUE(request->isFinished());
}

TEST(HTTPRequestAuthenticationTest, ProxyChallengeIsAnsweredWithProxyCredentials)
{
    HTTPRequest::clearSession();
    FakeHttpServer proxy;
    const QByteArray good = HTTPAuthentication::basicAuthorization("pat", "proxypw");
    proxy.setHandler([&](const RecordedRequest &request) {
        if (request.header("Proxy-Authorization") == good)
            return FakeReply::ok("through the proxy");
        return challenge(407, "Proxy-Authenticate", "Basic realm=\"gate\"");
    });
    const QUrl target("http://films.example/list");

    RequestRecorder denied;
    auto without = HTTPRequest::requestWithURL(target);
    without->setProxyHost("127.0.0.1");
    without->setProxyPort(proxy.port());
    run(without, denied);
    EXPECT_EQ(denied.lastError.code(), HTTPRequestError::AuthenticationNeeded);
    EXPECT_EQ(proxy.lastRequest().target, "http://films.example/list");

    CredentialGiver giver;
    giver.username = "pat";
    giver.password = "proxypw";
    auto asked = HTTPRequest::requestWithURL(target);
    asked->setProxyHost("127.0.0.1");
    asked->setProxyPort(proxy.port());
    run(asked, giver);
    EXPECT_EQ(giver.proxyQuestions, 1);
    EXPECT_EQ(giver.lastBody, "through the proxy");
    EXPECT_EQ(asked->proxyAuthenticationRealm(), "gate");

    // The session remembers the proxy's credentials for the next request through it.
    RequestRecorder later;
    auto next = HTTPRequest::requestWithURL(QUrl("http://films.example/other"));
    next->setProxyHost("127.0.0.1");
    next->setProxyPort(proxy.port());
    const int before = int(proxy.requests().size());
    run(next, later);
    EXPECT_EQ(later.lastBody, "through the proxy");
    EXPECT_EQ(proxy.requests().size(), before + 1);
}

TEST(HTTPRequestAuthenticationTest, ProxyComesFromAScriptAndABadScriptFails)
{
    FakeHttpServer server;
    server.setSocks5(true);
    server.setReply("/via", FakeReply::ok("via socks"));
    QTemporaryDir folder;
    const auto script = [&](const QString &name, const QByteArray &text) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return QUrl::fromLocalFile(file.fileName());
    };

    RequestRecorder socks;
    auto request = HTTPRequest::requestWithURL(server.url("/via"));
    request->setPACurl(script("socks.pac", "function FindProxyForURL(url, host) { return \"SOCKS "
                                           "127.0.0.1:" +
                                               QByteArray::number(server.port()) + "\"; }"));
    run(request, socks);
    EXPECT_EQ(socks.lastBody, "via socks");
    EXPECT_EQ(request->proxyType(), "SOCKS");
    EXPECT_EQ(server.socksTargets().size(), 1);

    RequestRecorder broken;
    auto failing = HTTPRequest::requestWithURL(server.url("/via"));
    failing->setPACurl(script("broken.pac", "function FindProxyForURL(url, host) { throw 1; }"));
    run(failing, broken);
    EXPECT_EQ(broken.lastError.code(), HTTPRequestError::InternalErrorWhileBuildingRequest);
    EXPECT_EQ(broken.lastError.localizedDescription(),
              "Unable to obtain information on proxy servers needed for request");

    // A script that cannot be read means a direct connection.
    FakeHttpServer direct;
    direct.setReply("/d", FakeReply::ok("direct"));
    RequestRecorder unread;
    auto straight = HTTPRequest::requestWithURL(direct.url("/d"));
    straight->setPACurl(QUrl::fromLocalFile(folder.filePath("missing.pac")));
    run(straight, unread);
    EXPECT_EQ(unread.lastBody, "direct");
    EXPECT_TRUE(straight->proxyHost().isEmpty());
}

TEST(HTTPRequestAuthenticationTest, SavedCredentialsServeProxiesAlwaysAndServersOnlyWhenAsked)
{
    HTTPRequest::clearSession();
    FakeHttpServer server;
    server.setHandler(basicGate);
    CredentialStorage::saveCredentials(
        std::make_shared<const Credentials>(Credentials{"ann", "secret", {}}), "127.0.0.1",
        server.port(), "http", "subtitles");

    RequestRecorder withoutKeychain;
    run(HTTPRequest::requestWithURL(server.url("/a")), withoutKeychain);
    EXPECT_EQ(withoutKeychain.lastError.code(), HTTPRequestError::AuthenticationNeeded);

    RequestRecorder withKeychain;
    auto request = HTTPRequest::requestWithURL(server.url("/a"));
    request->setUseKeychainPersistence(true);
    run(request, withKeychain);
    EXPECT_EQ(withKeychain.lastBody, "welcome");

    FakeHttpServer proxy;
    const QByteArray good = HTTPAuthentication::basicAuthorization("pat", "proxypw");
    proxy.setHandler([&](const RecordedRequest &request) {
        if (request.header("Proxy-Authorization") == good)
            return FakeReply::ok("through");
        return challenge(407, "Proxy-Authenticate", "Basic realm=\"gate\"");
    });
    CredentialStorage::saveCredentialsForProxy(
        std::make_shared<const Credentials>(Credentials{"pat", "proxypw", {}}), "127.0.0.1",
        proxy.port(), "gate");
    RequestRecorder throughProxy;
    auto viaProxy = HTTPRequest::requestWithURL(QUrl("http://films.example/"));
    viaProxy->setProxyHost("127.0.0.1");
    viaProxy->setProxyPort(proxy.port());
    run(viaProxy, throughProxy);
    EXPECT_EQ(throughProxy.lastBody, "through");
}

TEST(HTTPRequestAuthenticationTest, SystemSettingsNamingASocksProxyAreFollowed)
{
    FakeHttpServer server;
    server.setSocks5(true);
    server.setReply("/s", FakeReply::ok("socks from the settings"));
    qputenv("http_proxy", "socks5://127.0.0.1:" + QByteArray::number(server.port()));
    qunsetenv("no_proxy");

    SystemProxies::shared().clear();

    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(QUrl("http://films.example/s"));
    run(request, recorder);
    qunsetenv("http_proxy");
    // The answer is remembered for a while: the removed setting is not seen yet.
    RequestRecorder again;
    run(HTTPRequest::requestWithURL(QUrl("http://films.example/s")), again);
    EXPECT_EQ(again.lastBody, "socks from the settings");
    SystemProxies::shared().clear();
    EXPECT_EQ(recorder.lastBody, "socks from the settings");
    EXPECT_EQ(request->proxyType(), "SOCKS");
    EXPECT_EQ(server.socksTargets(), QStringList{"films.example:80"});
}

#include "HTTPRequestAuthenticationTest.moc"
