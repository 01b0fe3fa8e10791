#include "platform/XMLRPC.h"
#include "services/TNZipFile.h"

#include "fakes/services/ZipArchiveBuilder.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using Fakes::ZipArchiveBuilder;

namespace {

// An archive of about 45 KB whose 200 entries all point at one entry that inflates past the
// per-entry cap: read naively, each entry costs the whole cap again.
void BM_RefuseOverlappingArchive(benchmark::State &state)
{
    QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("overlap.zip"));
    ZipArchiveBuilder builder;
    builder.addFile("s000.srt", QByteArray(TNZipFile::MaximumEntrySize + 1, '\0'))
        .addOverlapping(199, "s", 3);
    builder.writeTo(path);
    for (auto _ : state) {
        TNZipFile zip;
        zip.openForReading(path);
        if (zip.readAllEntries())
            state.SkipWithError("the archive was read");
        zip.closeReading();
    }
}
BENCHMARK(BM_RefuseOverlappingArchive)->Unit(benchmark::kMillisecond)->UseRealTime();

// An XML-RPC reply of about 1.3 MB nesting 30,000 arrays.
void BM_RefuseDeeplyNestedReply(benchmark::State &state)
{
    constexpr int Levels = 30000;
    const QByteArray reply = "<?xml version=\"1.0\"?><methodResponse><params><param>" +
                             QByteArray("<value><array><data>").repeated(Levels) +
                             QByteArray("</data></array></value>").repeated(Levels) +
                             "</param></params></methodResponse>";
    for (auto _ : state) {
        if (XMLRPC::decodeResponse(reply).kind != XMLRPCResponse::Kind::Malformed)
            state.SkipWithError("the reply was read");
    }
}
BENCHMARK(BM_RefuseDeeplyNestedReply)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
