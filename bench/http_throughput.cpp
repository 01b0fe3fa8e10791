// The engine against curl on the same local server: many small requests on one kept-alive
// connection, and one large body (kept in memory by the engine alone, and written to a file by
// both). The server is the in-process fake one, or the one TROVANEL_BENCH_SERVER names
// (bench/http_nginx.sh starts nginx for it), which must serve /small (1 KiB) and /large.
#include "http/HTTPRequest.h"

#include "fakes/http/FakeHttpServer.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>

namespace {

constexpr int SmallRequests = 2000;
constexpr qint64 LargeBodyMegabytes = 200;

QUrl serverUrl(const QString &path)
{
    static const QUrl external(qEnvironmentVariable("TROVANEL_BENCH_SERVER"));
    if (!external.isEmpty())
        return external.resolved(QUrl(path));
    static FakeHttpServer *fake = [] {
        auto *made = new FakeHttpServer;
        made->setReply("/small", FakeReply::ok(QByteArray(1024, 's')));
        FakeReply large = FakeReply::ok(QByteArray(1024 * 1024, 'L'), "application/octet-stream");
        large.bodyRepeat = LargeBodyMegabytes;
        made->setReply("/large", large);
        return made;
    }();
    return fake->url(path);
}

void fail(benchmark::State &state, const char *what)
{
    state.SkipWithError(what);
}

void BM_EngineSmallGets(benchmark::State &state)
{
    const QUrl url = serverUrl("/small");
    for (auto _ : state) {
        for (int i = 0; i < SmallRequests; ++i) {
            const auto request = HTTPRequest::requestWithURL(url);
            request->startSynchronous();
            if (request->responseStatusCode() != 200)
                return fail(state, "a request failed");
        }
    }
    state.counters["requests_per_second"] = benchmark::Counter(
        double(SmallRequests) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CurlSmallGets(benchmark::State &state)
{
    QTemporaryFile config;
    config.open();
    const QByteArray line =
        "url = \"" + serverUrl("/small").toEncoded() + "\"\noutput = \"/dev/null\"\n";
    for (int i = 0; i < SmallRequests; ++i)
        config.write(line);
    config.flush();
    for (auto _ : state) {
        if (QProcess::execute("curl", {"-sf", "--config", config.fileName()}) != 0)
            return fail(state, "curl failed");
    }
    state.counters["requests_per_second"] = benchmark::Counter(
        double(SmallRequests) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_EngineLargeBody(benchmark::State &state)
{
    for (auto _ : state) {
        const auto request = HTTPRequest::requestWithURL(serverUrl("/large"));
        request->setResponseSizeLimit(0);
        request->startSynchronous();
        if (request->rawResponseData().value_or(QByteArray()).size() !=
            LargeBodyMegabytes * 1024 * 1024)
            return fail(state, "the body was not complete");
    }
    state.counters["MB_per_second"] = benchmark::Counter(
        double(LargeBodyMegabytes) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// curl throwing the body away: more than the engine does, which always keeps it.
void BM_CurlLargeBodyDiscarded(benchmark::State &state)
{
    for (auto _ : state) {
        if (QProcess::execute("curl", {"-sf", "-o", "/dev/null", serverUrl("/large").toString()}) !=
            0)
            return fail(state, "curl failed");
    }
    state.counters["MB_per_second"] = benchmark::Counter(
        double(LargeBodyMegabytes) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// The same work for both: the body ends up in a file.
void BM_EngineLargeBodyToFile(benchmark::State &state)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("body");
    for (auto _ : state) {
        const auto request = HTTPRequest::requestWithURL(serverUrl("/large"));
        request->setDownloadSizeLimit(0);
        request->setDownloadDestinationPath(path);
        request->startSynchronous();
        if (QFileInfo(path).size() != LargeBodyMegabytes * 1024 * 1024)
            return fail(state, "the file was not complete");
    }
    state.counters["MB_per_second"] = benchmark::Counter(
        double(LargeBodyMegabytes) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CurlLargeBodyToFile(benchmark::State &state)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("body");
    for (auto _ : state) {
        if (QProcess::execute("curl", {"-sf", "-o", path, serverUrl("/large").toString()}) != 0)
            return fail(state, "curl failed");
    }
    state.counters["MB_per_second"] = benchmark::Counter(
        double(LargeBodyMegabytes) * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_EngineSmallGets)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlSmallGets)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineLargeBody)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlLargeBodyDiscarded)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EngineLargeBodyToFile)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CurlLargeBodyToFile)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
