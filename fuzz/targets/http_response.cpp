// A response fed to the parser in pieces whose size the input chooses, the body taken either
// through the parser or directly, as the connection does.
#include "FuzzSupport.h"
#include "http/HTTPResponseParser.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QByteArray methods[] = {"GET", "HEAD", "CONNECT", "POST"};
    if (size < 2)
        return 0;
    HTTPResponseParser parser(methods[data[0] % 4]);
    const bool takeRawBody = data[1] & 0x80;
    const qsizetype pieceSize = (data[1] & 0x7f) + 1;
    const char *at = reinterpret_cast<const char *>(data + 2);
    const char *const end = reinterpret_cast<const char *>(data + size);

    QByteArray body;
    while (at < end && !parser.isDone() && !parser.hasFailed()) {
        const quint64 raw = takeRawBody ? parser.rawBodyRemaining() : 0;
        if (raw > 0) {
            const qsizetype n = qsizetype(std::min<quint64>(raw, quint64(end - at)));
            body.append(at, n);
            parser.consumeRawBody(quint64(n));
            at += n;
            continue;
        }
        const qsizetype piece = std::min<qsizetype>(pieceSize, end - at);
        const qsizetype consumed = parser.feed(at, piece, body);
        FUZZ_CHECK(consumed >= 0 && consumed <= piece);
        FUZZ_CHECK(consumed == piece || parser.isDone() || parser.hasFailed());
        at += consumed;
    }
    const bool endedByItself = parser.isDone();
    parser.finishAtEndOfStream();
    FUZZ_CHECK(parser.isDone() != parser.hasFailed());
    FUZZ_CHECK(parser.hasFailed() == (parser.failure() != HTTPResponseParser::Failure::None));
    FUZZ_CHECK(body.size() <= qsizetype(size));
    if (!parser.isDone())
        return 0;

    FUZZ_CHECK(parser.isHeadComplete());
    const HTTPResponseHead &head = parser.head();
    FUZZ_CHECK(head.statusCode() >= 200 && head.statusCode() <= 999);
    head.allHeaderFields();
    if (parser.framing() == HTTPResponseParser::Framing::Length && endedByItself) {
        const std::optional<QByteArray> length = head.header("Content-Length");
        FUZZ_CHECK(length && body.size() == length->split(',').first().trimmed().toLongLong());
    }
    if (parser.framing() == HTTPResponseParser::Framing::None)
        FUZZ_CHECK(body.isEmpty());
    return 0;
}
