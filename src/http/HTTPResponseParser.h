#pragma once

#include "http/HTTPResponseHead.h"

#include <QByteArray>

// Reads one HTTP/1.x response from a byte stream fed in pieces of any size: skips interim
// 1xx responses, removes the chunked transfer coding and knows where the body ends.
class HTTPResponseParser
{
public:
    enum class Framing
    {
        None,
        Length,
        Chunked,
        UntilClose
    };
    enum class Failure
    {
        None,
        Malformed,
        Truncated
    };

    static constexpr qsizetype MaxLineLength = 64 * 1024;
    static constexpr qsizetype MaxHeadLength = 1024 * 1024;

    // A HEAD request's response has no body; a CONNECT request's 2xx answer neither.
    explicit HTTPResponseParser(const QByteArray &requestMethod = "GET");

    // Consumes bytes up to the end of the response and appends decoded body bytes to body.
    // Returns how many bytes were consumed; bytes after the end are left to the caller.
    qsizetype feed(const char *data, qsizetype size, QByteArray &body);
    // How many of the next bytes are plain body bytes that may be taken without the parser
    // (inside a length-delimited body, a chunk, or a body that runs until close); 0 otherwise.
    quint64 rawBodyRemaining() const;
    // Accounts for body bytes the caller took itself, at most rawBodyRemaining().
    void consumeRawBody(quint64 count);
    // The connection reached its end: completes a body that runs until close, else fails.
    void finishAtEndOfStream();

    bool isHeadComplete() const { return m_headComplete; }
    const HTTPResponseHead &head() const { return m_head; }
    bool isDone() const { return m_state == State::Done; }
    bool hasFailed() const { return m_state == State::Failed; }
    Failure failure() const { return m_failure; }
    // What was wrong, in a few words: "malformed status line", "malformed chunk size", ...
    const QString &failureText() const { return m_failureText; }
    Framing framing() const { return m_framing; }
    bool hasSeenBytes() const { return m_seenBytes; }

private:
    enum class State
    {
        StatusLine,
        Fields,
        Body,
        ChunkSize,
        ChunkData,
        ChunkEnd,
        Trailer,
        UntilClose,
        Done,
        Failed
    };

    bool takeLine(const char *&data, const char *end, QByteArray &line);
    void handleStatusLine(const QByteArray &line);
    void handleFieldLine(const QByteArray &line);
    void handleEndOfHead();
    void handleChunkSize(const QByteArray &line);
    // The kind of line being read, for failures.
    QString lineName() const;
    void fail(Failure failure, const QString &text);

    QByteArray m_method;
    State m_state = State::StatusLine;
    Framing m_framing = Framing::None;
    Failure m_failure = Failure::None;
    QString m_failureText;
    HTTPResponseHead m_head;
    bool m_headComplete = false;
    bool m_seenBytes = false;
    QByteArray m_line;
    qsizetype m_headLength = 0;
    quint64 m_remaining = 0;
};
