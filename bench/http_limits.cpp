// Hostile bodies against the engine's default limits: an endless body, an endless chunked body
// and a gzip bomb (1 MB on the wire, 1 GB inflated), kept in memory and written to a file. Each
// must end with a clear error; the process's peak resident size, how much of the body was read
// and what was left at the destination are reported beside it.
#include "http/HTTPRequest.h"

#include "fakes/http/FakeHttpServer.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <zlib.h>

namespace {

// 1 GiB of zeros, gzipped a block at a time so that the whole never sits in memory.
QByteArray gzipBomb()
{
    const QByteArray zeros(1024 * 1024, '\0');
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
    QByteArray packed;
    QByteArray out(256 * 1024, Qt::Uninitialized);
    for (int block = 0; block < 1024; ++block) {
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
        stream.avail_in = uInt(zeros.size());
        const int flush = block == 1023 ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(out.data());
            stream.avail_out = uInt(out.size());
            deflate(&stream, flush);
            packed.append(out.constData(), out.size() - qsizetype(stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return packed;
}

FakeHttpServer &server()
{
    static FakeHttpServer *instance = [] {
        auto *made = new FakeHttpServer;
        FakeReply endless = FakeReply::ok(QByteArray(64 * 1024, 'x'));
        endless.framing = FakeReply::Framing::Close;
        endless.bodyRepeat = qint64(1) << 40;
        made->setReply("/endless", endless);
        FakeReply chunked = endless;
        chunked.framing = FakeReply::Framing::Chunked;
        chunked.chunkSize = 16 * 1024;
        made->setReply("/endless-chunked", chunked);
        made->setReply("/bomb", FakeReply::ok(gzipBomb()).withHeader("Content-Encoding", "gzip"));
        return made;
    }();
    return *instance;
}

void run(benchmark::State &state, const char *path, bool toFile = false)
{
    QTemporaryDir folder;
    for (auto _ : state) {
        const auto request = HTTPRequest::requestWithURL(server().url(QString::fromLatin1(path)));
        if (toFile) {
            request->setDownloadDestinationPath(folder.filePath("body"));
            request->setTemporaryFileDownloadPath(folder.filePath("partial"));
        }
        request->startSynchronous();
        state.counters["read_MB"] = double(request->totalBytesRead()) / (1024.0 * 1024.0);
        if (toFile)
            state.counters["file_MB"] =
                double(QFileInfo(folder.filePath("body")).size()) / (1024.0 * 1024.0);
        if (request->error().isNull())
            return state.SkipWithError("the request did not fail");
        state.SetLabel(request->error().localizedDescription().toStdString());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = double(usage.ru_maxrss) / 1024.0;
}

void BM_EndlessBody(benchmark::State &state)
{
    run(state, "/endless");
}

void BM_EndlessChunkedBody(benchmark::State &state)
{
    run(state, "/endless-chunked");
}

void BM_GzipBomb(benchmark::State &state)
{
    run(state, "/bomb");
}

void BM_EndlessBodyToFile(benchmark::State &state)
{
    run(state, "/endless", true);
}

void BM_GzipBombToFile(benchmark::State &state)
{
    run(state, "/bomb", true);
}

BENCHMARK(BM_EndlessBody)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EndlessChunkedBody)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GzipBomb)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EndlessBodyToFile)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GzipBombToFile)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
