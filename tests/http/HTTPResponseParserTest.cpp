#include "http/HTTPResponseParser.h"

#include <gtest/gtest.h>

namespace {

struct Outcome
{
    bool done = false;
    bool failed = false;
    HTTPResponseParser::Failure failure = HTTPResponseParser::Failure::None;
    QByteArray body;
    int status = 0;
    qsizetype leftover = 0;
};

// Feeds the bytes in two pieces split at `split`, then one more end-of-stream when asked.
Outcome parse(const QByteArray &bytes, qsizetype split, const QByteArray &method = "GET",
              bool endOfStream = false)
{
    HTTPResponseParser parser(method);
    Outcome outcome;
    qsizetype used = parser.feed(bytes.constData(), split, outcome.body);
    if (used == split && !parser.isDone() && !parser.hasFailed())
        used += parser.feed(bytes.constData() + split, bytes.size() - split, outcome.body);
    outcome.leftover = bytes.size() - used;
    if (endOfStream && !parser.isDone() && !parser.hasFailed())
        parser.finishAtEndOfStream();
    outcome.done = parser.isDone();
    outcome.failed = parser.hasFailed();
    outcome.failure = parser.failure();
    if (parser.isHeadComplete())
        outcome.status = parser.head().statusCode();
    return outcome;
}

// The same result whatever the split, including one byte at a time.
void expectAtEverySplit(const QByteArray &bytes, const QByteArray &body, int status,
                        const QByteArray &method = "GET", bool endOfStream = false,
                        qsizetype leftover = 0)
{
    for (qsizetype split = 0; split <= bytes.size(); ++split) {
        const Outcome outcome = parse(bytes, split, method, endOfStream);
        ASSERT_TRUE(outcome.done) << "split " << split;
        EXPECT_EQ(outcome.body, body) << "split " << split;
        EXPECT_EQ(outcome.status, status) << "split " << split;
        EXPECT_EQ(outcome.leftover, leftover) << "split " << split;
    }
    HTTPResponseParser parser(method);
    QByteArray collected;
    for (qsizetype i = 0; i < bytes.size() && !parser.isDone(); ++i)
        parser.feed(bytes.constData() + i, 1, collected);
    if (endOfStream && !parser.isDone())
        parser.finishAtEndOfStream();
    EXPECT_TRUE(parser.isDone());
    EXPECT_EQ(collected, body);
}

TEST(HTTPResponseParserTest, FramingsGiveTheSameBodyAtEverySplit)
{
    expectAtEverySplit("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello", 200);
    expectAtEverySplit("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                       "5;name=value\r\nhello\r\n1\r\n!\r\n0\r\nTrailer: x\r\n\r\n",
                       "hello!", 200);
    expectAtEverySplit("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nuntil the end",
                       "until the end", 200, "GET", true);
    expectAtEverySplit("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\n"
                       "Content-Length: 2\r\n\r\nok",
                       "ok", 201);
    // Bytes after the response stay with the caller.
    expectAtEverySplit("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokEXTRA", "ok", 200, "GET",
                       false, 5);
}

TEST(HTTPResponseParserTest, ResponsesWithoutBody)
{
    expectAtEverySplit("HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n", "", 200, "HEAD");
    expectAtEverySplit("HTTP/1.1 204 No Content\r\n\r\n", "", 204);
    expectAtEverySplit("HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\n\r\n", "", 304);
    expectAtEverySplit("HTTP/1.1 200 Connection established\r\n\r\n", "", 200, "CONNECT");
    expectAtEverySplit("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "", 200);
}

TEST(HTTPResponseParserTest, MalformedInputFailsAtEverySplit)
{
    const QList<QByteArray> malformed = {
        "HTTP/2 200 OK\r\n\r\n",
        "HTTQ/1.1 200 OK\r\n\r\n",
        "HTTP/1.1 2x0 OK\r\n\r\n",
        "HTTP/1.1 099 Low\r\n\r\n",
        "HTTP/1.1 200OK\r\n\r\n",
        "HTTP/1.1 200 OK\r\nNo colon here\r\n\r\n",
        "HTTP/1.1 200 OK\r\nX: a\r\n folded\r\n\r\n",
        "HTTP/1.1 200 OK\r\nBad Name: a\r\n\r\n",
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello",
        "HTTP/1.1 200 OK\r\nContent-Length: 5, 6\r\n\r\nhello",
        "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nhello",
        "HTTP/1.1 200 OK\r\nContent-Length: 0x10\r\n\r\nhello",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabXY\r\n0\r\n\r\n",
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffffffffffffffff\r\n",
        "HTTP/1.1 101 Switching Protocols\r\n\r\n",
        // Two framings at once, the shape of a smuggled response.
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n"
        "5\r\nhello\r\n0\r\n\r\n",
    };
    for (const QByteArray &bytes : malformed) {
        for (qsizetype split = 0; split <= bytes.size(); ++split) {
            const Outcome outcome = parse(bytes, split, "GET", true);
            EXPECT_TRUE(outcome.failed) << bytes.constData() << " split " << split;
            EXPECT_EQ(outcome.failure, HTTPResponseParser::Failure::Malformed)
                << bytes.constData() << " split " << split;
        }
    }
}

TEST(HTTPResponseParserTest, FailuresSayWhatWasWrong)
{
    // The rest are told whole by the request tests.
    const QList<std::pair<QByteArray, QString>> cases = {
        {"HTTP/1.1 2x0 OK\r\n\r\n", "malformed status code"},
        {"HTTP/1.1 200 OK\r\nX: " + QByteArray(HTTPResponseParser::MaxLineLength, 'a'),
         "header line longer than 65536 bytes"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel", "response cut short"},
    };
    for (const auto &[bytes, text] : cases) {
        HTTPResponseParser parser;
        QByteArray body;
        parser.feed(bytes.constData(), bytes.size(), body);
        if (!parser.hasFailed())
            parser.finishAtEndOfStream();
        EXPECT_EQ(parser.failureText(), text) << bytes.left(80).constData();
    }
}

TEST(HTTPResponseParserTest, RepeatedEqualLengthsAreAccepted)
{
    expectAtEverySplit("HTTP/1.1 200 OK\r\nContent-Length: 2\r\ncontent-length: 2, 2\r\n\r\nok",
                       "ok", 200);
}

TEST(HTTPResponseParserTest, EndOfStreamBeforeTheEndIsTruncation)
{
    for (const QByteArray &bytes :
         {QByteArray(""), QByteArray("HTTP/1.1 200 OK\r\nContent-Le"),
          QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel"),
          QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n")}) {
        const Outcome outcome = parse(bytes, bytes.size(), "GET", true);
        EXPECT_TRUE(outcome.failed) << bytes.constData();
        EXPECT_EQ(outcome.failure, HTTPResponseParser::Failure::Truncated) << bytes.constData();
    }
}

TEST(HTTPResponseParserTest, OversizedHeadsFail)
{
    const QByteArray longLine =
        "HTTP/1.1 200 OK\r\nX: " + QByteArray(HTTPResponseParser::MaxLineLength, 'a');
    EXPECT_TRUE(parse(longLine, longLine.size()).failed);
    QByteArray manyLines = "HTTP/1.1 200 OK\r\n";
    while (manyLines.size() <= HTTPResponseParser::MaxHeadLength)
        manyLines += "X-Filler: " + QByteArray(1000, 'b') + "\r\n";
    EXPECT_TRUE(parse(manyLines, manyLines.size()).failed);
}

TEST(HTTPResponseParserTest, HeadFieldsAreCanonicalAndJoined)
{
    HTTPResponseParser parser;
    QByteArray body;
    const QByteArray bytes = "HTTP/1.1 404 Not Found\r\ncontent-TYPE: text/html\r\nETag: \"x\"\r\n"
                             "Set-Cookie: a=1\r\nset-cookie: b=2\r\nWWW-Authenticate: Basic\r\n"
                             "Content-Length: 0\r\n\r\n";
    parser.feed(bytes.constData(), bytes.size(), body);
    ASSERT_TRUE(parser.isDone());
    const HTTPResponseHead &head = parser.head();
    EXPECT_EQ(head.statusLine(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(head.version(), "HTTP/1.1");
    const auto fields = head.allHeaderFields();
    EXPECT_EQ(fields.value("Content-Type"), "text/html");
    EXPECT_EQ(fields.value("Etag"), "\"x\"");
    EXPECT_EQ(fields.value("Www-Authenticate"), "Basic");
    EXPECT_EQ(fields.value("Set-Cookie"), "a=1, b=2");
    EXPECT_EQ(head.values("SET-COOKIE"), (QList<QByteArray>{"a=1", "b=2"}));
    EXPECT_EQ(head.header("content-type").value_or(""), "text/html");
}

} // namespace
