// Reading the services' replies: the XML-RPC decoder on a large recorded search reply and
// the search-page reader on a recorded Podnapisi reply.
#include "platform/XMLRPC.h"
#include "services/XMLReply.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

namespace {

QByteArray fixture(const char *relative)
{
    const QDir fixtures(QStringLiteral(TROVANEL_SOURCE_DIR "/tests/fixtures"));
    QFile file(fixtures.filePath(QString::fromLatin1(relative)));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("Missing fixture %s", relative);
    return file.readAll();
}

void decodeSearchReply(benchmark::State &state)
{
    const QByteArray reply =
        fixture("opensubtitles-xmlrpc/test_list_subtitles_movie_1_SearchSubtitles.response.xml");
    for (auto _ : state) {
        const XMLRPCResponse response = XMLRPC::decodeResponse(reply);
        benchmark::DoNotOptimize(response.value);
    }
    state.SetBytesProcessed(qint64(state.iterations()) * reply.size());
}
BENCHMARK(decodeSearchReply);

void readPodnapisiPage(benchmark::State &state)
{
    const QByteArray page = fixture("podnapisi-xml/test_query_movie_2.xml");
    for (auto _ : state) {
        const auto document = XMLReply::parse(page, nullptr);
        qsizetype releases = 0;
        for (const pugi::xpath_node record : document->select_nodes("/results/subtitle"))
            releases += XMLReply::requiredChild(record.node(), "release").size();
        benchmark::DoNotOptimize(releases);
    }
    state.SetBytesProcessed(qint64(state.iterations()) * page.size());
}
BENCHMARK(readPodnapisiPage);

} // namespace
