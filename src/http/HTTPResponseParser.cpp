#include "http/HTTPResponseParser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

constexpr std::array<bool, 256> tokenBytes = [] {
    std::array<bool, 256> table{};
    for (int c = '0'; c <= '9'; ++c)
        table[size_t(c)] = true;
    for (int c = 'a'; c <= 'z'; ++c) {
        table[size_t(c)] = true;
        table[size_t(c - 'a' + 'A')] = true;
    }
    for (const char c : std::string_view("!#$%&'*+-.^_`|~"))
        table[size_t(c)] = true;
    return table;
}();

bool isTokenByte(char c)
{
    return tokenBytes[static_cast<unsigned char>(c)];
}

// Visible characters, bytes past ASCII, spaces and tabs.
bool isFieldByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 ? byte != 0x7f : c == '\t';
}

} // namespace

HTTPResponseParser::HTTPResponseParser(const QByteArray &requestMethod) : m_method(requestMethod) {}

qsizetype HTTPResponseParser::feed(const char *data, qsizetype size, QByteArray &body)
{
    const char *const begin = data;
    const char *const end = data + size;
    if (size > 0)
        m_seenBytes = true;
    QByteArray line;
    while (data < end && m_state != State::Done && m_state != State::Failed) {
        switch (m_state) {
        case State::StatusLine:
        case State::Fields:
        case State::ChunkSize:
        case State::ChunkEnd:
        case State::Trailer:
            if (!takeLine(data, end, line))
                break;
            if (m_state == State::StatusLine)
                handleStatusLine(line);
            else if (m_state == State::Fields)
                handleFieldLine(line);
            else if (m_state == State::ChunkSize)
                handleChunkSize(line);
            else if (m_state == State::ChunkEnd)
                line.isEmpty()
                    ? void(m_state = State::ChunkSize)
                    : fail(Failure::Malformed, QStringLiteral("chunk longer than its size"));
            else if (line.isEmpty())
                m_state = State::Done;
            break;
        case State::Body:
        case State::ChunkData: {
            const qsizetype n = qsizetype(qMin<quint64>(m_remaining, quint64(end - data)));
            body.append(data, n);
            data += n;
            m_remaining -= quint64(n);
            if (m_remaining == 0)
                m_state = m_state == State::Body ? State::Done : State::ChunkEnd;
            break;
        }
        case State::UntilClose:
            body.append(data, end - data);
            data = end;
            break;
        case State::Done:
        case State::Failed:
            break;
        }
    }
    return data - begin;
}

quint64 HTTPResponseParser::rawBodyRemaining() const
{
    if (m_state == State::Body || m_state == State::ChunkData)
        return m_remaining;
    return m_state == State::UntilClose ? std::numeric_limits<quint64>::max() : 0;
}

void HTTPResponseParser::consumeRawBody(quint64 count)
{
    m_seenBytes = m_seenBytes || count > 0;
    if (m_state == State::UntilClose || count == 0)
        return;
    m_remaining -= count;
    if (m_remaining == 0)
        m_state = m_state == State::Body ? State::Done : State::ChunkEnd;
}

void HTTPResponseParser::finishAtEndOfStream()
{
    if (m_state == State::UntilClose)
        m_state = State::Done;
    else if (m_state != State::Done && m_state != State::Failed)
        fail(Failure::Truncated, m_seenBytes
                                     ? QStringLiteral("response cut short")
                                     : QStringLiteral("connection closed before any response"));
}

bool HTTPResponseParser::takeLine(const char *&data, const char *end, QByteArray &line)
{
    const char *newline = static_cast<const char *>(std::memchr(data, '\n', size_t(end - data)));
    const char *stop = newline ? newline : end;
    const qsizetype piece = stop - data;
    if (m_line.size() + piece > MaxLineLength) {
        fail(Failure::Malformed,
             QStringLiteral("%1 longer than %2 bytes").arg(lineName()).arg(MaxLineLength));
        return false;
    }
    m_line.append(data, piece);
    if (m_state == State::StatusLine || m_state == State::Fields) {
        m_headLength += piece + (newline ? 1 : 0);
        if (m_headLength > MaxHeadLength) {
            fail(Failure::Malformed,
                 QStringLiteral("response head larger than %1 bytes").arg(MaxHeadLength));
            return false;
        }
    }
    data = newline ? newline + 1 : end;
    if (!newline)
        return false;
    if (m_line.endsWith('\r'))
        m_line.chop(1);
    line = std::move(m_line);
    m_line = QByteArray();
    return true;
}

void HTTPResponseParser::handleStatusLine(const QByteArray &line)
{
    // "HTTP/1.x NNN reason"
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || line.at(8) != ' ' ||
        !(line.at(7) >= '0' && line.at(7) <= '9') || (line.size() > 12 && line.at(12) != ' ')) {
        fail(Failure::Malformed, QStringLiteral("malformed status line"));
        return;
    }
    int code = 0;
    for (int i = 9; i < 12; ++i) {
        const char c = line.at(i);
        if (c < '0' || c > '9') {
            fail(Failure::Malformed, QStringLiteral("malformed status code"));
            return;
        }
        code = code * 10 + (c - '0');
    }
    if (code < 100) {
        fail(Failure::Malformed, QStringLiteral("status code below 100"));
        return;
    }
    if (!std::all_of(line.begin(), line.end(), isFieldByte)) {
        fail(Failure::Malformed, QStringLiteral("control character in the status line"));
        return;
    }
    m_head = HTTPResponseHead();
    m_head.setStatus(line, line.left(8), code);
    m_state = State::Fields;
}

void HTTPResponseParser::handleFieldLine(const QByteArray &line)
{
    if (line.isEmpty()) {
        handleEndOfHead();
        return;
    }
    const qsizetype colon = line.indexOf(':');
    const QByteArrayView name = colon > 0 ? QByteArrayView(line).first(colon) : QByteArrayView();
    const QByteArrayView value = QByteArrayView(line).sliced(colon + 1).trimmed();
    // Folded continuation lines count as bad names; control bytes in a value could smuggle a
    // second field or cut a stored one short.
    if (name.isEmpty() || !std::all_of(name.begin(), name.end(), isTokenByte)) {
        fail(Failure::Malformed, QStringLiteral("malformed header line"));
        return;
    }
    if (!std::all_of(value.begin(), value.end(), isFieldByte)) {
        fail(Failure::Malformed,
             QStringLiteral("control character in the header %1")
                 .arg(QString::fromLatin1(name.first(qMin<qsizetype>(name.size(), 64)))));
        return;
    }
    m_head.addField(name, value);
}

void HTTPResponseParser::handleEndOfHead()
{
    const int code = m_head.statusCode();
    if (code >= 100 && code < 200) {
        if (code == 101) {
            fail(Failure::Malformed, QStringLiteral("unasked-for switch of protocols"));
            return;
        }
        m_headLength = 0;
        m_state = State::StatusLine;
        return;
    }
    m_headComplete = true;
    if (m_method == "HEAD" || code == 204 || code == 304 ||
        (m_method == "CONNECT" && code >= 200 && code < 300)) {
        m_framing = Framing::None;
        m_state = State::Done;
        return;
    }
    const QList<QByteArray> lengths = m_head.values("Content-Length");
    if (const auto coding = m_head.header("Transfer-Encoding")) {
        // Two framings at once is how requests are smuggled past proxies: trust neither.
        if (!lengths.isEmpty()) {
            fail(Failure::Malformed,
                 QStringLiteral("response with both Transfer-Encoding and Content-Length"));
            return;
        }
        if (coding->split(',').last().trimmed().compare("chunked", Qt::CaseInsensitive) == 0) {
            m_framing = Framing::Chunked;
            m_state = State::ChunkSize;
        } else {
            m_framing = Framing::UntilClose;
            m_state = State::UntilClose;
        }
        return;
    }
    if (lengths.isEmpty()) {
        m_framing = Framing::UntilClose;
        m_state = State::UntilClose;
        return;
    }
    std::optional<quint64> length;
    for (const QByteArray &value : lengths) {
        for (const QByteArray &item : value.split(',')) {
            const QByteArray digits = item.trimmed();
            bool ok = !digits.isEmpty() && digits.size() <= 18;
            for (char c : digits)
                ok = ok && c >= '0' && c <= '9';
            const quint64 parsed = ok ? digits.toULongLong() : 0;
            if (!ok) {
                fail(Failure::Malformed, QStringLiteral("malformed Content-Length"));
                return;
            }
            if (length && *length != parsed) {
                fail(Failure::Malformed, QStringLiteral("conflicting Content-Length values"));
                return;
            }
            length = parsed;
        }
    }
    m_framing = Framing::Length;
    m_remaining = *length;
    m_state = m_remaining == 0 ? State::Done : State::Body;
}

void HTTPResponseParser::handleChunkSize(const QByteArray &line)
{
    const qsizetype semicolon = line.indexOf(';');
    const QByteArray digits = (semicolon < 0 ? line : line.left(semicolon)).trimmed();
    bool ok = !digits.isEmpty() && digits.size() <= 15;
    for (char c : digits)
        ok = ok && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
    if (!ok) {
        fail(Failure::Malformed, QStringLiteral("malformed chunk size"));
        return;
    }
    m_remaining = digits.toULongLong(nullptr, 16);
    m_state = m_remaining == 0 ? State::Trailer : State::ChunkData;
}

QString HTTPResponseParser::lineName() const
{
    switch (m_state) {
    case State::StatusLine:
        return QStringLiteral("status line");
    case State::Fields:
        return QStringLiteral("header line");
    case State::ChunkSize:
    case State::ChunkEnd:
        return QStringLiteral("chunk size line");
    default:
        return QStringLiteral("trailer line");
    }
}

void HTTPResponseParser::fail(Failure failure, const QString &text)
{
    m_state = State::Failed;
    m_failure = failure;
    m_failureText = text;
}
