#include "http/HTTPRequest.h"
#include "http/ConnectionPool.h"
#include "http/CookieStorage.h"
#include "http/Gzip.h"
#include "http/HTTPRequestError.h"
#include "platform/OperationQueue.h"

#include "OversizedReplies.h"
#include "RequestRecorder.h"
#include "common/TestSupport.h"
#include "fakes/http/FakeHttpServer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

namespace {

std::shared_ptr<HTTPRequest> makeRequest(const QUrl &url, RequestRecorder &recorder)
{
    auto request = HTTPRequest::requestWithURL(url);
    request->setDelegate(&recorder);
    return request;
}

// Starts the request and waits for its one finish or fail callback.
void run(const std::shared_ptr<HTTPRequest> &request, RequestRecorder &recorder,
         int timeoutMs = 10000)
{
    request->start();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return recorder.ended(); }, timeoutMs));
    TestSupport::processEventsFor(20);
}

TEST(HTTPRequestTest, GetsGzipChunkedAndCloseDelimitedBodies)
{
    FakeHttpServer server;
    const QByteArray text = QByteArray("subtitle line\n").repeated(2000);
    FakeReply gzip = FakeReply::ok(*Gzip::compressData(text));
    gzip.withHeader("Content-Encoding", "gzip");
    server.setReply("/gzip", gzip);
    FakeReply chunked = FakeReply::ok(text);
    chunked.framing = FakeReply::Framing::Chunked;
    chunked.chunkSize = 1000;
    server.setReply("/chunked", chunked);
    FakeReply closing = FakeReply::ok(text);
    closing.framing = FakeReply::Framing::Close;
    server.setReply("/close", closing);

    for (const char *path : {"/gzip", "/chunked", "/close"}) {
        RequestRecorder recorder;
        auto request = makeRequest(server.url(path), recorder);
        run(request, recorder);
        EXPECT_EQ(recorder.calls, (QList<QByteArray>{"started", "headers", "finished"})) << path;
        EXPECT_EQ(recorder.lastStatus, 200) << path;
        EXPECT_EQ(recorder.lastBody, text) << path;
        EXPECT_EQ(recorder.lastString, QString::fromLatin1(text)) << path;
        EXPECT_TRUE(request->isFinished());
        EXPECT_FALSE(request->inProgress());
        EXPECT_EQ(request->responseStatusMessage(), "HTTP/1.1 200 OK");
    }
    const RecordedRequest sent = server.lastRequest();
    EXPECT_EQ(sent.header("Accept-Encoding"), "gzip");
    EXPECT_TRUE(sent.header("User-Agent").startsWith("trovanel"));
}

TEST(HTTPRequestTest, ErrorStatusIsAFinishWithItsBody)
{
    FakeHttpServer server;
    RequestRecorder recorder;
    run(makeRequest(server.url("/missing"), recorder), recorder);
    EXPECT_EQ(recorder.calls.last(), "finished");
    EXPECT_EQ(recorder.lastStatus, 404);
    EXPECT_EQ(recorder.lastBody, "no reply");
}

TEST(HTTPRequestTest, CustomSelectorsAndAbsentDelegateMethods)
{
    FakeHttpServer server;
    server.setReply("/file", FakeReply::ok("subtitle"));
    RequestRecorder recorder;
    auto request = makeRequest(server.url("/file"), recorder);
    request->setDidFinishSelector("subtitleDownloadFinished");
    request->setDidStartSelector("noSuchMethod");
    request->setUserInfo({{"TNVFObjectIDKey", 42}});
    request->start();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return recorder.count("custom finished") == 1; }));
    EXPECT_EQ(recorder.calls, (QList<QByteArray>{"headers", "custom finished"}));
    EXPECT_EQ(recorder.lastBody, "subtitle");
    EXPECT_EQ(request->userInfo().value("TNVFObjectIDKey").toInt(), 42);

    // A delegate that is gone gets nothing and nothing breaks.
    auto orphan = HTTPRequest::requestWithURL(server.url("/file"));
    {
        RequestRecorder shortLived;
        orphan->setDelegate(&shortLived);
    }
    EXPECT_EQ(orphan->delegate(), nullptr);
    orphan->start();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return orphan->isFinished(); }));
    EXPECT_EQ(orphan->responseData(), "subtitle");
}

TEST(HTTPRequestTest, DataDelegateTakesTheBody)
{
    FakeHttpServer server;
    server.setReply("/file", FakeReply::ok(QByteArray(100000, 'd')));
    DataRecorder recorder;
    auto request = makeRequest(server.url("/file"), recorder);
    run(request, recorder);
    EXPECT_EQ(recorder.data.join(), QByteArray(100000, 'd'));
    EXPECT_TRUE(request->responseData().isEmpty());
}

TEST(HTTPRequestTest, RedirectOfAPostBecomesAGetKeepingOnlyAgentAndAccept)
{
    FakeHttpServer server;
    server.setReply("/form", FakeReply::redirect(302, "next?x=1"));
    server.setReply("/next", FakeReply::ok("landed"));
    RequestRecorder recorder;
    auto request = makeRequest(server.url("/form"), recorder);
    request->appendPostData("field=value");
    request->addRequestHeader("User-Agent", "Agent/1");
    request->addRequestHeader("Accept", "text/*");
    request->addRequestHeader("X-Secret", "dropped");
    run(request, recorder);
    EXPECT_EQ(recorder.lastBody, "landed");
    const QList<RecordedRequest> sent = server.requests();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].method, "POST");
    EXPECT_EQ(sent[0].body, "field=value");
    EXPECT_EQ(sent[0].header("X-Secret"), "dropped");
    EXPECT_EQ(sent[1].method, "GET");
    EXPECT_EQ(sent[1].target, "/next?x=1");
    EXPECT_TRUE(sent[1].body.isEmpty());
    EXPECT_TRUE(sent[1].header("Content-Length").isNull());
    EXPECT_TRUE(sent[1].header("X-Secret").isNull());
    EXPECT_EQ(sent[1].header("User-Agent"), "Agent/1");
    EXPECT_EQ(sent[1].header("Accept"), "text/*");
    EXPECT_EQ(request->url(), server.url("/next?x=1"));
    EXPECT_EQ(request->originalURL(), server.url("/form"));
    EXPECT_EQ(request->redirectCount(), 1);
}

TEST(HTTPRequestTest, TemporaryRedirectKeepsMethodBodyAndHeaders)
{
    FakeHttpServer server;
    server.setReply("/form", FakeReply::redirect(307, "/other"));
    server.setReply("/other", FakeReply::ok("kept"));
    FakeReply notFollowed = FakeReply::redirect(304, "/other");
    server.setReply("/not-modified", notFollowed);
    RequestRecorder recorder;
    auto request = makeRequest(server.url("/form"), recorder);
    request->appendPostData("field=value");
    request->addRequestHeader("X-Custom", "stays");
    run(request, recorder);
    const QList<RecordedRequest> sent = server.requests();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[1].method, "POST");
    EXPECT_EQ(sent[1].body, "field=value");
    EXPECT_EQ(sent[1].header("X-Custom"), "stays");

    RequestRecorder second;
    run(makeRequest(server.url("/not-modified"), second), second);
    EXPECT_EQ(second.lastStatus, 304);
    EXPECT_EQ(server.requests().size(), 3);
}

TEST(HTTPRequestTest, FiveRedirectsAreFollowedAndTheSixthFails)
{
    FakeHttpServer server;
    server.setHandler([](const RecordedRequest &request) {
        const QStringList parts = request.path().split('/');
        const int hop = parts.value(2).toInt();
        const int last = parts.value(3).toInt();
        if (hop < last)
            return FakeReply::redirect(
                301, QStringLiteral("/hop/%1/%2").arg(hop + 1).arg(last).toLatin1());
        return FakeReply::ok("arrived");
    });
    RequestRecorder five;
    run(makeRequest(server.url("/hop/0/5"), five), five);
    EXPECT_EQ(five.lastBody, "arrived");
    EXPECT_EQ(server.requests().size(), 6);
    EXPECT_EQ(five.count("started"), 6); // once per pass

    RequestRecorder six;
    auto request = makeRequest(server.url("/hop/0/6"), six);
    run(request, six);
    EXPECT_EQ(six.calls.last(), "failed");
    EXPECT_EQ(six.lastError.code(), HTTPRequestError::TooMuchRedirection);
    EXPECT_EQ(six.lastError.localizedDescription(),
              "The request failed because it redirected too many times");
    EXPECT_EQ(server.requests().size(), 12);
    EXPECT_EQ(six.count("finished"), 0);
}

TEST(HTTPRequestTest, TimeOutRetriesOnFreshConnectionsThenFails)
{
    FakeHttpServer server;
    FakeReply silent;
    silent.neverAnswer = true;
    server.setReply("/silent", silent);
    RequestRecorder recorder;
    auto request = makeRequest(server.url("/silent"), recorder);
    request->setTimeOutSeconds(0.3);
    request->setNumberOfTimesToRetryOnTimeout(2);
    run(request, recorder);
    EXPECT_EQ(recorder.calls.last(), "failed");
    EXPECT_EQ(recorder.count("failed"), 1);
    EXPECT_EQ(recorder.lastError.code(), HTTPRequestError::RequestTimedOut);
    EXPECT_EQ(recorder.lastError, HTTPRequestError::timedOut());
    EXPECT_EQ(server.requests().size(), 3);
    EXPECT_EQ(server.connectionCount(), 3);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return server.closedConnectionCount() == 3; }));
}

TEST(HTTPRequestTest, TotalTimeOutEndsATrickle)
{
    FakeHttpServer server;
    FakeReply trickle = FakeReply::ok("drip");
    trickle.framing = FakeReply::Framing::Chunked;
    trickle.chunkSize = 1;
    trickle.bodyRepeat = 1000;
    trickle.trickleMs = 50;
    server.setReply("/trickle", trickle);
    RequestRecorder recorder;
    auto request = makeRequest(server.url("/trickle"), recorder);
    request->setNumberOfTimesToRetryOnTimeout(2);
    request->setTotalTimeOutSeconds(0.8);
    EXPECT_EQ(request->copy()->totalTimeOutSeconds(), 0.8);
    run(request, recorder, 5000);
    EXPECT_EQ(recorder.calls.last(), "failed");
    EXPECT_EQ(recorder.lastError, HTTPRequestError::timedOut());
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return server.closedConnectionCount() == 1; }));
}

TEST(HTTPRequestTest, RefusedPortIsAConnectionFailure)
{
    quint16 closedPort = 0;
    {
        FakeHttpServer gone;
        closedPort = gone.port();
    }
    RequestRecorder recorder;
    auto request =
        makeRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort)), recorder);
    run(request, recorder);
    EXPECT_EQ(recorder.calls, (QList<QByteArray>{"started", "failed"}));
    EXPECT_EQ(recorder.lastError.code(), HTTPRequestError::ConnectionFailure);
    EXPECT_EQ(recorder.lastError.localizedDescription(), "A connection failure occurred");
    EXPECT_FALSE(recorder.lastError.userInfo().value(Error::UnderlyingErrorKey).isNull());
}

TEST(HTTPRequestTest, MalformedResponsesAreConnectionFailuresThatSayWhy)
{
    FakeHttpServer server;
    const QList<std::pair<QByteArray, QString>> cases = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nok",
         "conflicting Content-Length values"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nxyz\r\n", "malformed chunk size"},
        {"garbage\r\n\r\n", "malformed status line"},
        // Control bytes in a field or status line, and a name that is no token.
        {QByteArray("HTTP/1.1 200 OK\r\nX-Note: a\0b\r\nContent-Length: 2\r\n\r\nok", 53),
         "control character in the header X-Note"},
        {"HTTP/1.1 200 OK\r\nX-Note: a\rSet-Cookie: x=1\r\nContent-Length: 2\r\n\r\nok",
         "control character in the header X-Note"},
        {"HTTP/1.1 200 OK\x01\r\nContent-Length: 2\r\n\r\nok",
         "control character in the status line"},
        {"HTTP/1.1 200 OK\r\nX(Note): a\r\nContent-Length: 2\r\n\r\nok", "malformed header line"},
    };
    for (const auto &[raw, reason] : cases) {
        FakeReply reply;
        reply.raw = raw;
        server.setReply("/bad", reply);
        RequestRecorder recorder;
        auto request = makeRequest(server.url("/bad"), recorder);
        run(request, recorder);
        EXPECT_EQ(recorder.calls.last(), "failed") << raw.constData();
        EXPECT_EQ(recorder.lastError.code(), HTTPRequestError::ConnectionFailure);
        EXPECT_EQ(recorder.lastError.localizedDescription(),
                  "A connection failure occurred: " + reason);
        EXPECT_FALSE(recorder.lastError.userInfo().value(Error::UnderlyingErrorKey).isNull());
        EXPECT_EQ(request->retryCount(), 0);
    }
}

TEST(HTTPRequestTest, BothFramingsAtOnceAreRefusedAndTheConnectionDropped)
{
    FakeHttpServer server;
    FakeReply smuggled = FakeReply::ok("hello");
    smuggled.framing = FakeReply::Framing::Chunked;
    smuggled.withHeader("Content-Length", "5");
    server.setReply("/smuggled", smuggled);
    server.setReply("/next", FakeReply::ok("next"));
    RequestRecorder first;
    run(makeRequest(server.url("/smuggled"), first), first);
    EXPECT_EQ(first.calls.last(), "failed");
    EXPECT_EQ(first.lastError.localizedDescription(),
              "A connection failure occurred: response with both Transfer-Encoding and "
              "Content-Length");
    EXPECT_TRUE(TestSupport::waitUntil([&] { return server.closedConnectionCount() == 1; }));
    RequestRecorder second;
    run(makeRequest(server.url("/next"), second), second);
    EXPECT_EQ(second.lastBody, "next");
    EXPECT_EQ(server.connectionCount(), 2);
}

TEST(HTTPRequestTest, BodiesInMemoryStopAtTheSizeLimit)
{
    FakeHttpServer server;
    serveOversizedReplies(server);

    for (const char *path : {"/endless", "/chunked", "/announced"}) {
        RequestRecorder recorder;
        auto request = makeRequest(server.url(path), recorder);
        request->setResponseSizeLimit(1 << 20);
        run(request, recorder);
        EXPECT_EQ(recorder.calls.last(), "failed") << path;
        EXPECT_EQ(recorder.lastError.code(), HTTPRequestError::ConnectionFailure) << path;
        EXPECT_EQ(recorder.lastError.localizedDescription(),
                  "The response is larger than 1048576 bytes")
            << path;
        EXPECT_LE(request->totalBytesRead(), quint64(2 << 20)) << path;
    }

    RequestRecorder bomb;
    auto request = makeRequest(server.url("/bomb"), bomb);
    request->setResponseSizeLimit(1 << 20);
    run(request, bomb);
    EXPECT_EQ(bomb.calls.last(), "failed");
    EXPECT_EQ(bomb.lastError.code(), HTTPRequestError::FileManagement);
    EXPECT_EQ(bomb.lastError.localizedDescription(),
              "Decompression of the response failed: larger than 1048576 bytes");

    // Up to the limit all is well.
    RequestRecorder whole;
    auto fits = makeRequest(server.url("/announced"), whole);
    fits->setResponseSizeLimit(AnnouncedSize);
    run(fits, whole);
    EXPECT_EQ(whole.calls.last(), "finished");
    EXPECT_EQ(whole.lastBody.size(), AnnouncedSize);
}

TEST(HTTPRequestTest, BadTargetsFailBeforeAnyTraffic)
{
    FakeHttpServer server;
    for (const QUrl &url : {QUrl(), QUrl("ftp://127.0.0.1/file"), QUrl("relative/path")}) {
        RequestRecorder recorder;
        run(makeRequest(url, recorder), recorder);
        EXPECT_EQ(recorder.calls, QList<QByteArray>{"failed"}) << url.toString().toStdString();
        EXPECT_EQ(recorder.lastError.code(), HTTPRequestError::UnableToCreateRequest);
    }
    // Header text no server or proxy on the way reads the same.
    for (const auto &[name, value] :
         QList<std::pair<QString, QString>>{{"X-Evil", "a\r\nHost: elsewhere"},
                                            {"X-Evil", "a\x01b"},
                                            {"X-Evil", "a\x1b[0m"},
                                            {"X-Evil", "a\x7f"},
                                            {"X-Evil", QString::fromLatin1("a\0b", 3)},
                                            {"X\x01Evil", "a"}}) {
        RequestRecorder injected;
        auto request = makeRequest(server.url("/"), injected);
        request->addRequestHeader(name, value);
        run(request, injected);
        EXPECT_EQ(injected.calls, QList<QByteArray>{"failed"});
        EXPECT_EQ(injected.lastError.code(), HTTPRequestError::UnableToCreateRequest);
        EXPECT_TRUE(injected.lastError.localizedDescription().startsWith(
            "Unable to create request: the header X"));
    }
    EXPECT_EQ(server.connectionCount(), 0);
    RequestRecorder tabbed;
    auto request = makeRequest(server.url("/"), tabbed);
    request->addRequestHeader("X-Note", "a\tb \u00e9");
    run(request, tabbed);
    EXPECT_EQ(tabbed.calls.last(), "finished");
    EXPECT_EQ(server.lastRequest().header("X-Note"), "a\tb \xc3\xa9");
}

TEST(HTTPRequestTest, ServerClosingAnIdleSocketCostsOneSilentRetry)
{
    FakeHttpServer server;
    // The server drops the kept-alive connection just as the second request arrives on it.
    server.setHandler([](const RecordedRequest &request) {
        FakeReply reply = FakeReply::ok("fine");
        reply.closeWithoutAnswer = request.connection == 1 && request.path() == "/second";
        return reply;
    });
    RequestRecorder first;
    run(makeRequest(server.url("/first"), first), first);
    RequestRecorder second;
    auto request = makeRequest(server.url("/second"), second);
    run(request, second);
    EXPECT_EQ(second.calls.last(), "finished");
    EXPECT_EQ(second.count("failed"), 0);
    EXPECT_EQ(second.lastBody, "fine");
    EXPECT_EQ(server.connectionCount(), 2);
    EXPECT_EQ(server.requests().size(), 3);
    EXPECT_EQ(request->retryCount(), 1);
}

int connectionsForTwoRequests(FakeReply reply)
{
    FakeHttpServer server;
    server.setReply("/a", reply);
    for (int i = 0; i < 2; ++i) {
        RequestRecorder recorder;
        run(makeRequest(server.url("/a"), recorder), recorder);
        EXPECT_EQ(recorder.calls.last(), "finished");
    }
    return server.connectionCount();
}

TEST(HTTPRequestTest, KeepAliveFollowsConnectionAndKeepAliveHeaders)
{
    EXPECT_EQ(connectionsForTwoRequests(FakeReply::ok("plain")), 1);
    FakeReply closing = FakeReply::ok("closing");
    closing.closeAfter = true;
    EXPECT_EQ(connectionsForTwoRequests(closing), 2);
    EXPECT_EQ(connectionsForTwoRequests(
                  FakeReply::ok("kept").withHeader("Keep-Alive", "timeout=5, max=100")),
              1);
    // Without "max" the connection is not kept, although the socket could have been.
    EXPECT_EQ(
        connectionsForTwoRequests(FakeReply::ok("kept").withHeader("Keep-Alive", "timeout=5")), 2);
    FakeReply untilEnd = FakeReply::ok("until end");
    untilEnd.framing = FakeReply::Framing::Close;
    EXPECT_EQ(connectionsForTwoRequests(untilEnd), 2);
}

TEST(HTTPRequestTest, KeptConnectionExpiresAfterTheServersTimeout)
{
    FakeHttpServer server;
    server.setReply("/a", FakeReply::ok("x").withHeader("Keep-Alive", "timeout=0, max=10"));
    RequestRecorder first;
    auto request = makeRequest(server.url("/a"), first);
    run(request, first);
    EXPECT_EQ(request->persistentConnectionTimeoutSeconds(), 0.0);
    RequestRecorder second;
    run(makeRequest(server.url("/a"), second), second);
    EXPECT_EQ(server.connectionCount(), 2);
}

TEST(HTTPRequestTest, CharacterSetsComeFromContentType)
{
    FakeHttpServer server;
    const QByteArray utf8 = "caf\xc3\xa9";
    server.setReply("/utf8", FakeReply::ok(utf8, "text/plain; charset=utf-8"));
    server.setReply("/none", FakeReply::ok(utf8, "text/plain"));
    server.setReply("/quoted", FakeReply::ok(utf8, "text/plain; charset=\"utf-8\""));
    server.setReply("/unknown", FakeReply::ok(utf8, "text/plain; charset=klingon"));
    server.setReply("/cp1252", FakeReply::ok("\x80", "text/plain;charset=windows-1252;x=y"));
    server.setReply("/broken", FakeReply::ok("caf\xe9!", "text/plain; charset=UTF-8"));
    const QMap<QString, QString> expected = {{"/utf8", "café"},
                                             {"/none", "cafÃ©"},
                                             {"/quoted", "cafÃ©"},
                                             {"/unknown", "cafÃ©"},
                                             {"/cp1252", "€"}};
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        RequestRecorder recorder;
        run(makeRequest(server.url(it.key()), recorder), recorder);
        EXPECT_EQ(recorder.lastString, it.value()) << it.key().toStdString();
    }
    RequestRecorder broken;
    run(makeRequest(server.url("/broken"), broken), broken);
    EXPECT_TRUE(broken.lastString.isNull());
    EXPECT_EQ(broken.lastBody, "caf\xe9!");
}

TEST(HTTPRequestTest, SelfSignedCertificateIsRejectedUnlessValidationIsOff)
{
    FakeHttpServer server(FakeHttpServer::Tls::SelfSigned);
    server.setReply("/secure", FakeReply::ok("secret"));
    RequestRecorder rejected;
    run(makeRequest(server.url("/secure"), rejected), rejected);
    EXPECT_EQ(rejected.lastError.code(), HTTPRequestError::ConnectionFailure);
    EXPECT_EQ(rejected.lastError.localizedDescription(),
              "A connection failure occurred: SSL problem (possibly a "
              "bad/expired/self-signed certificate)");
    RequestRecorder accepted;
    auto request = makeRequest(server.url("/secure"), accepted);
    request->setValidatesSecureCertificate(false);
    run(request, accepted);
    EXPECT_EQ(accepted.lastBody, "secret");

    FakeHttpServer trusted(FakeHttpServer::Tls::Trusted);
    trusted.setReply("/secure", FakeReply::ok("trusted"));
    RequestRecorder valid;
    run(makeRequest(trusted.url("/secure"), valid), valid);
    EXPECT_EQ(valid.lastBody, "trusted");
}

TEST(HTTPRequestTest, CancelMidBodyFailsOnceAndClosesTheSocket)
{
    FakeHttpServer server;
    FakeReply stalling = FakeReply::ok(QByteArray(100000, 's'));
    stalling.stallAfterBodyBytes = 5000;
    server.setReply("/slow", stalling);
    RequestRecorder recorder;
    auto request = makeRequest(server.url("/slow"), recorder);
    request->start();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return request->totalBytesRead() >= 5000; }));
    request->cancel();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return recorder.ended(); }));
    request->cancel();
    TestSupport::processEventsFor(100);
    EXPECT_EQ(recorder.calls, (QList<QByteArray>{"started", "headers", "failed"}));
    EXPECT_EQ(recorder.lastError, HTTPRequestError::cancelled());
    EXPECT_TRUE(request->isCancelled());
    EXPECT_TRUE(request->isFinished());
    EXPECT_TRUE(TestSupport::waitUntil([&] { return server.closedConnectionCount() == 1; }));
    EXPECT_FALSE(HTTPRequest::isNetworkInUse());
}

TEST(HTTPRequestTest, CookiesSetByOneResponseAreSentByTheNext)
{
    FakeHttpServer server;
    server.setReply("/login", FakeReply::ok("in")
                                  .withHeader("Set-Cookie", "session=abc; Path=/")
                                  .withHeader("Set-Cookie", "lang=fr"));
    server.setReply("/page", FakeReply::ok("page"));
    RequestRecorder first;
    auto login = makeRequest(server.url("/login"), first);
    run(login, first);
    EXPECT_EQ(login->responseCookies().size(), 2);
    RequestRecorder second;
    run(makeRequest(server.url("/page"), second), second);
    const QByteArray sent = server.lastRequest().header("Cookie");
    EXPECT_TRUE(sent.contains("session=abc")) << sent.constData();
    EXPECT_TRUE(sent.contains("lang=fr")) << sent.constData();
    EXPECT_TRUE(sent.contains("; "));
    HTTPRequest::clearSession();
    EXPECT_TRUE(CookieStorage::shared().cookiesForUrl(server.url("/page")).isEmpty());
}

TEST(HTTPRequestTest, BodyTurnsAGetIntoAPostWithItsLength)
{
    FakeHttpServer server;
    server.setReply("/echo", FakeReply::ok("ok"));
    RequestRecorder recorder;
    auto request = makeRequest(server.url("/echo"), recorder);
    QByteArray body(300000, Qt::Uninitialized);
    for (qsizetype i = 0; i < body.size(); ++i)
        body[i] = char(i % 251);
    request->appendPostData(body);
    request->appendPostData({});
    run(request, recorder);
    const RecordedRequest sent = server.lastRequest();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.header("Content-Length"), "300000");
    EXPECT_EQ(sent.body, body);
    EXPECT_EQ(request->postLength(), 300000u);
    EXPECT_EQ(request->totalBytesSent(), 300000u);
}

TEST(HTTPRequestTest, SynchronousRunLeavesTheCallersEventsAlone)
{
    FakeHttpServer server;
    server.setReply("/sync", FakeReply::ok("synchronous"));
    RequestRecorder recorder;
    auto request = makeRequest(server.url("/sync"), recorder);
    bool otherEventRan = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { otherEventRan = true; }, Qt::QueuedConnection);
    request->startSynchronous();
    EXPECT_FALSE(otherEventRan);
    EXPECT_TRUE(recorder.calls.isEmpty());
    EXPECT_EQ(request->responseData(), "synchronous");
    EXPECT_EQ(request->runLoopMode(), HTTPRequest::SynchronousRunLoopMode);
    EXPECT_FALSE(request->inProgress());
    EXPECT_TRUE(TestSupport::waitUntil([&] { return recorder.ended(); }));
    EXPECT_EQ(recorder.calls.last(), "finished");

    // From worker threads too, several at once.
    std::atomic<int> good = 0;
    QList<QThread *> workers;
    for (int i = 0; i < 4; ++i) {
        workers.append(QThread::create([&] {
            auto worker = HTTPRequest::requestWithURL(server.url("/sync"));
            worker->startSynchronous();
            if (worker->responseString() == "synchronous")
                ++good;
        }));
        workers.last()->start();
    }
    for (QThread *worker : workers) {
        EXPECT_TRUE(TestSupport::waitUntil([&] { return worker->isFinished(); }));
        delete worker;
    }
    EXPECT_EQ(good.load(), 4);
}

TEST(HTTPRequestTest, QueuedRequestsReportBeforeTheQueueEmpties)
{
    FakeHttpServer server;
    server.setReply("/a", FakeReply::ok("a"));
    FakeReply stalled;
    stalled.neverAnswer = true;
    server.setReply("/stalled", stalled);
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(2);
    QList<QByteArray> order;
    RequestRecorder first;
    RequestRecorder second;
    RequestRecorder third;
    QObject::connect(&queue, &OperationQueue::operationsBecameEmpty, [&] {
        order.append(second.ended() ? "empty after the last callback" : "empty too early");
    });
    auto a = makeRequest(server.url("/a"), first);
    auto b = makeRequest(server.url("/stalled"), second);
    auto c = makeRequest(server.url("/a"), third);
    queue.addOperation(a);
    queue.addOperation(b);
    queue.addOperation(c);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return first.ended() && third.ended(); }));
    queue.cancelAllOperations();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return !order.isEmpty(); }));
    EXPECT_EQ(second.calls.last(), "failed");
    EXPECT_EQ(second.lastError.code(), HTTPRequestError::RequestCancelled);
    EXPECT_EQ(second.count("failed"), 1);
    EXPECT_EQ(order, QList<QByteArray>{"empty after the last callback"});
    EXPECT_EQ(queue.operationCount(), 0);
}

TEST(HTTPRequestTest, DefaultsAndCopies)
{
    HTTPRequest::setDefaultTimeOutSeconds(7.5);
    auto request = HTTPRequest::requestWithURL(QUrl("http://host/path"));
    HTTPRequest::setDefaultTimeOutSeconds(10.0);
    EXPECT_EQ(request->timeOutSeconds(), 7.5);
    EXPECT_EQ(HTTPRequest::requestWithURL(QUrl("http://host/"))->timeOutSeconds(), 10.0);
    EXPECT_EQ(request->requestMethod(), "GET");
    EXPECT_EQ(request->runLoopMode(), HTTPRequest::RunLoopModeDefault);
    EXPECT_FALSE(request->requestHeaders());
    EXPECT_TRUE(request->requestCookies().isEmpty());
    EXPECT_TRUE(request->shouldRedirect());
    EXPECT_FALSE(request->shouldUseRFC2616RedirectBehaviour());
    EXPECT_TRUE(request->validatesSecureCertificate());
    EXPECT_TRUE(request->shouldAttemptPersistentConnection());
    EXPECT_EQ(request->persistentConnectionTimeoutSeconds(), 60.0);
    EXPECT_TRUE(request->allowCompressedResponse());
    EXPECT_EQ(request->defaultResponseEncoding(), "ISO-8859-1");
    EXPECT_TRUE(request->useSessionPersistence());
    EXPECT_TRUE(request->useCookiePersistence());
    EXPECT_FALSE(request->useKeychainPersistence());
    EXPECT_TRUE(request->shouldPresentCredentialsBeforeChallenge());
    EXPECT_FALSE(request->shouldPresentAuthenticationDialog());
    EXPECT_TRUE(request->shouldPresentProxyAuthenticationDialog());
    EXPECT_EQ(request->numberOfTimesToRetryOnTimeout(), 0);
    EXPECT_EQ(request->didFinishSelector(), "requestFinished");
    EXPECT_EQ(request->didReceiveDataSelector(), "requestDidReceiveData");

    RequestRecorder delegate;
    request->setDelegate(&delegate);
    request->setNumberOfTimesToRetryOnTimeout(3);
    request->setDidFinishSelector("subtitleDownloadFinished");
    request->setDidReceiveResponseHeadersSelector("other");
    request->setShouldCompressRequestBody(true);
    request->setCachePolicy(3);
    request->setDownloadSizeLimit(1000);
    request->appendPostData("shared body");
    request->addRequestHeader("X-A", "1");
    const auto copy = request->copy();
    EXPECT_EQ(copy->url(), request->url());
    EXPECT_EQ(copy->delegate(), &delegate);
    EXPECT_EQ(copy->numberOfTimesToRetryOnTimeout(), 3);
    EXPECT_EQ(copy->timeOutSeconds(), 7.5);
    EXPECT_EQ(copy->didFinishSelector(), "subtitleDownloadFinished");
    EXPECT_EQ(copy->didReceiveResponseHeadersSelector(), "requestReceivedResponseHeaders");
    EXPECT_FALSE(copy->shouldCompressRequestBody());
    EXPECT_EQ(copy->cachePolicy(), 0);
    EXPECT_EQ(copy->downloadSizeLimit(), 1000);
    EXPECT_EQ(copy->requestHeaders()->value("X-A"), "1");
    // The body buffer is shared, the header map is not.
    request->appendPostData(" grows");
    EXPECT_EQ(*copy->postBody(), "shared body grows");
    request->addRequestHeader("X-B", "2");
    EXPECT_FALSE(copy->requestHeaders()->contains("X-B"));

    const auto head = request->HEADRequest();
    EXPECT_EQ(head->requestMethod(), "HEAD");
    EXPECT_EQ(head->mainRequest(), request);
    EXPECT_EQ(head->numberOfTimesToRetryOnTimeout(), 3);
    EXPECT_EQ(head->delegate(), nullptr);
}

} // namespace
