#include "platform/UrlLoader.h"
#include "fakes/services/FakeHttpServer.h"

#include <QElapsedTimer>
#include <QThread>

#include <thread>

#include <gtest/gtest.h>

using Fakes::FakeHttpServer;
using Fakes::FakeRequest;
using Fakes::FakeResponse;

namespace {

FakeResponse echo(const FakeRequest &request)
{
    if (request.path() == "/missing")
        return FakeResponse::html("<html>gone</html>", 404);
    if (request.path() == "/stall")
        return FakeResponse::stall();
    if (request.path() == "/drip")
        return FakeResponse::drip(QByteArray(60, 'x'), 50);
    if (request.path() == "/huge")
        return FakeResponse::generated(qint64(1) << 30);
    if (request.path() == "/cut")
        return {200, "text/xml", "<results>", FakeResponse::Delivery::Truncated};
    return FakeResponse::xml(request.method + ' ' + request.target + ' ' + request.body);
}

} // namespace

TEST(UrlLoader, SendsMethodHeadersAndBodyAndReadsTheReply)
{
    FakeHttpServer server(echo);
    UrlRequest request;
    request.url = server.url(QStringLiteral("/xml-rpc?a=1&b=%26"));
    request.method = "POST";
    request.headers = {{"Content-Type", "text/xml"}, {"X-Probe", "yes"}};
    request.body = "<methodCall/>";
    const UrlResponse response = UrlLoader::load(request);

    EXPECT_TRUE(response.isSuccess());
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.body, "POST /xml-rpc?a=1&b=%26 <methodCall/>");
    EXPECT_EQ(response.header("content-type"), "text/xml");
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0].header("x-probe"), "yes");
    EXPECT_EQ(server.requests()[0].header("Content-Type"), "text/xml");
}

TEST(UrlLoader, AnErrorStatusIsAResponseNotAFailure)
{
    FakeHttpServer server(echo);
    const UrlResponse response =
        UrlLoader::load(UrlRequest::get(server.url(QStringLiteral("/missing"))));
    EXPECT_TRUE(response.error.isNull());
    EXPECT_FALSE(response.isSuccess());
    EXPECT_EQ(response.status, 404);
    EXPECT_EQ(response.body, "<html>gone</html>");
}

TEST(UrlLoader, ReportsRefusedConnectionsAndCutReplies)
{
    FakeHttpServer server(echo);
    const QUrl refused = server.url(QStringLiteral("/"));
    const QUrl cut = server.url(QStringLiteral("/cut"));

    const UrlResponse truncated = UrlLoader::load(UrlRequest::get(cut, 2000));
    EXPECT_EQ(truncated.error.domain(), UrlLoader::ErrorDomain);
    EXPECT_EQ(truncated.error.code(), UrlLoader::ConnectionFailed);

    server.stop();
    const UrlResponse response = UrlLoader::load(UrlRequest::get(refused));
    EXPECT_EQ(response.status, 0);
    EXPECT_EQ(response.error.domain(), UrlLoader::ErrorDomain);
    EXPECT_EQ(response.error.code(), UrlLoader::ConnectionFailed);
    EXPECT_FALSE(response.error.localizedDescription().isEmpty());
}

TEST(UrlLoader, AStalledServerTimesOut)
{
    FakeHttpServer server(echo);
    QElapsedTimer clock;
    clock.start();
    const UrlResponse response =
        UrlLoader::load(UrlRequest::get(server.url(QStringLiteral("/stall")), 300));
    EXPECT_EQ(response.error.code(), UrlLoader::TimedOut);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(UrlLoader, ASlowTrickleStillEndsAtTheDeadline)
{
    FakeHttpServer server(echo);
    QElapsedTimer clock;
    clock.start();
    const UrlResponse response =
        UrlLoader::load(UrlRequest::get(server.url(QStringLiteral("/drip")), 250));
    EXPECT_EQ(response.error.code(), UrlLoader::TimedOut);
    EXPECT_LT(clock.elapsed(), 2500);
}

TEST(UrlLoader, AReplyBeyondTheSizeCapIsRefused)
{
    FakeHttpServer server(echo);
    const UrlResponse response =
        UrlLoader::load(UrlRequest::get(server.url(QStringLiteral("/huge"))));
    EXPECT_EQ(response.error.code(), UrlLoader::TooLarge);
    EXPECT_TRUE(response.body.isEmpty());
}

TEST(UrlLoader, CancellationEndsAWaitingRequest)
{
    FakeHttpServer server(echo);
    QElapsedTimer clock;
    clock.start();
    const UrlResponse response =
        UrlLoader::load(UrlRequest::get(server.url(QStringLiteral("/stall")), 60000),
                        [&] { return clock.elapsed() > 200; });
    EXPECT_EQ(response.error.code(), UrlLoader::Cancelled);
    EXPECT_LT(clock.elapsed(), 5000);

    const UrlResponse early = UrlLoader::load(UrlRequest::get(server.url()), [] { return true; });
    EXPECT_EQ(early.error.code(), UrlLoader::Cancelled);
    EXPECT_EQ(server.requests().size(), 1);

    // The thread's manager serves the next request as if nothing happened.
    EXPECT_TRUE(UrlLoader::load(UrlRequest::get(server.url())).isSuccess());
}

TEST(UrlLoader, TrustsTheExtraAuthorityOnlyWhenNamed)
{
    FakeHttpServer server(echo, FakeHttpServer::Transport::Tls);
    const QUrl url = server.url(QStringLiteral("/secure"));

    const UrlResponse untrusted = UrlLoader::load(UrlRequest::get(url));
    EXPECT_EQ(untrusted.error.code(), UrlLoader::ConnectionFailed);

    qputenv("TROVANEL_EXTRA_CA", FakeHttpServer::certificateAuthorityPath().toLocal8Bit());
    const UrlResponse trusted = UrlLoader::load(UrlRequest::get(url));
    qunsetenv("TROVANEL_EXTRA_CA");
    EXPECT_TRUE(trusted.isSuccess()) << qPrintable(trusted.error.localizedDescription());
    EXPECT_EQ(trusted.body, "GET /secure ");
}

TEST(UrlLoader, AThreadReusesItsConnectionsAndEndsWithThem)
{
    FakeHttpServer plain(echo);
    FakeHttpServer tls(echo, FakeHttpServer::Transport::Tls);
    qputenv("TROVANEL_EXTRA_CA", FakeHttpServer::certificateAuthorityPath().toLocal8Bit());
    constexpr int Requests = 10;
    const auto load = [&] {
        for (int i = 0; i < Requests; ++i) {
            EXPECT_TRUE(UrlLoader::load(UrlRequest::get(plain.url())).isSuccess());
            EXPECT_TRUE(UrlLoader::load(UrlRequest::get(tls.url())).isSuccess());
        }
    };
    load();
    // The manager may open a second connection while the first is being freed.
    EXPECT_LE(plain.connectionCount(), 2);
    EXPECT_EQ(tls.connectionCount(), 1);

    // Each thread has its own connections, and a thread that ended takes them with it, be it
    // Qt's or not.
    std::unique_ptr<QThread> thread(QThread::create(load));
    thread->start();
    thread->wait();
    std::thread(load).join();
    qunsetenv("TROVANEL_EXTRA_CA");
    EXPECT_LE(plain.connectionCount(), 6);
    EXPECT_EQ(tls.connectionCount(), 3);
    EXPECT_EQ(plain.requests().size(), 3 * Requests);
}
