#include "http/HTTPStream.h"

#include "http/ConnectionTable.h"

#include "platform/TrustedCertificates.h"

#include <QNetworkProxy>
#include <QScopedValueRollback>
#include <QSslConfiguration>

#include <cstring>
#include <utility>

namespace {

constexpr qint64 SocketReadPiece = 256 * 1024;

StreamError::Kind kindOf(QAbstractSocket::SocketError error, bool exchangeStarted)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::NetworkError:
        return exchangeStarted ? StreamError::Kind::ConnectionLost
                               : StreamError::Kind::CannotConnect;
    case QAbstractSocket::HostNotFoundError:
        return StreamError::Kind::HostNotFound;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return StreamError::Kind::Tls;
    case QAbstractSocket::ProxyConnectionRefusedError:
    case QAbstractSocket::ProxyConnectionClosedError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
    case QAbstractSocket::ProxyNotFoundError:
    case QAbstractSocket::ProxyProtocolError:
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return StreamError::Kind::CannotConnect;
    default:
        return exchangeStarted ? StreamError::Kind::ConnectionLost
                               : StreamError::Kind::CannotConnect;
    }
}

} // namespace

HTTPStream::HTTPStream(HTTPMessage message, std::unique_ptr<BodySource> body)
    : m_message(std::move(message)), m_source(std::move(body)), m_parser(m_message.method())
{
    m_route.https = m_message.isHttps();
    m_route.host = m_message.url().host();
    m_route.port = m_message.port();
    if (const auto length = m_message.header("Content-Length")) {
        bool ok = false;
        const quint64 value = length->trimmed().toULongLong(&ok);
        if (ok)
            m_announcedLength = value;
    }
}

HTTPStream::~HTTPStream()
{
    close();
}

template <typename Work> void HTTPStream::fromSocket(Work work)
{
    // Events that arise here go to the client at once: nothing of the client's is on the stack
    // under a socket signal, and a posted delivery would cost another turn of the loop.
    {
        const QScopedValueRollback inside(m_inSocketSignal, true);
        work();
    }
    if (std::exchange(m_deliverNow, false))
        deliver();
}

void HTTPStream::setHttpProxy(const QString &host, quint16 port)
{
    m_route.proxy = HTTPRoute::Proxy::Http;
    m_route.proxyHost = host;
    m_route.proxyPort = port;
}

void HTTPStream::setSocksProxy(const QString &host, quint16 port)
{
    m_route.proxy = HTTPRoute::Proxy::Socks;
    m_route.proxyHost = host;
    m_route.proxyPort = port;
}

bool HTTPStream::open()
{
    if (m_opened || m_closed)
        return false;
    m_opened = true;
    if (m_streamId >= 0) {
        if (auto idle = ConnectionTable::instance().take(m_streamId, m_route)) {
            adoptSocket(std::move(idle));
            // The opening is told with the first answer bytes, in the same pass: the client is
            // on the stack here, and a delivery of its own would cost a turn of the loop.
            beginExchange();
            return true;
        }
    }
    configureSocket();
    return true;
}

void HTTPStream::configureSocket()
{
    auto socket = std::make_unique<QSslSocket>();
    if (m_route.proxy == HTTPRoute::Proxy::Socks)
        socket->setProxy(
            QNetworkProxy(QNetworkProxy::Socks5Proxy, m_route.proxyHost, m_route.proxyPort));
    else
        socket->setProxy(QNetworkProxy::NoProxy);
    if (m_route.https) {
        QSslConfiguration configuration = TrustedCertificates::configuration();
        if (!m_route.tls.validatesCertificateChain)
            configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        const auto &identity = m_route.tls.clientIdentity;
        if (identity && !identity->certificate.isNull()) {
            configuration.setLocalCertificateChain(QList<QSslCertificate>{identity->certificate} +
                                                   identity->chain);
            configuration.setPrivateKey(identity->privateKey);
        }
        socket->setSslConfiguration(configuration);
        socket->setPeerVerifyName(m_route.host);
    }
    socket->setReadBufferSize(MaxBufferedBody);
    adoptSocket(std::move(socket));
    if (m_route.proxy == HTTPRoute::Proxy::Http) {
        m_tunnelling = m_route.needsTunnel();
        if (m_tunnelling)
            m_parser = HTTPResponseParser("CONNECT");
        m_socket->connectToHost(m_route.proxyHost, m_route.proxyPort);
    } else if (m_route.https) {
        m_socket->connectToHostEncrypted(m_route.host, m_route.port);
    } else {
        m_socket->connectToHost(m_route.host, m_route.port);
    }
}

void HTTPStream::adoptSocket(std::unique_ptr<QSslSocket> socket)
{
    m_socket = std::move(socket);
    QSslSocket *s = m_socket.get();
    connect(s, &QAbstractSocket::connected, this, &HTTPStream::onConnected);
    connect(s, &QSslSocket::encrypted, this, &HTTPStream::onEncrypted);
    connect(s, &QIODevice::readyRead, this, &HTTPStream::onReadyRead);
    connect(s, &QIODevice::bytesWritten, this, &HTTPStream::onBytesWritten);
    connect(s, &QAbstractSocket::disconnected, this, [this] {
        fromSocket([this] {
            m_endOfStream = true;
            pullFromSocket();
        });
    });
    connect(s, &QAbstractSocket::errorOccurred, this, &HTTPStream::onSocketError);
}

void HTTPStream::onConnected()
{
    if (m_tunnelling) {
        const QByteArray authority =
            m_route.host.toLatin1() + ':' + QByteArray::number(m_route.port);
        QByteArray connectHead =
            "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
        // Proxy credentials travel on the CONNECT only, never inside the tunnel.
        if (const auto credentials = m_message.header("Proxy-Authorization")) {
            connectHead += "Proxy-Authorization: " + *credentials + "\r\n";
            m_message.removeHeader("Proxy-Authorization");
        }
        m_socket->write(connectHead + "\r\n");
    } else if (!m_route.https) {
        fromSocket([this] {
            beginExchange();
            signalLater();
        });
    }
}

void HTTPStream::onEncrypted()
{
    fromSocket([this] {
        beginExchange();
        signalLater();
    });
}

void HTTPStream::beginExchange()
{
    if (m_closed || !m_socket || m_exchangeStarted)
        return;
    m_exchangeStarted = true;
    m_openPending = true;
    if (m_source && !m_announcedLength && m_message.version() == "HTTP/1.1") {
        m_chunkedUpload = true;
        m_message.setHeader("Transfer-Encoding", "chunked");
    }
    const bool absoluteForm = m_route.proxy == HTTPRoute::Proxy::Http && !m_route.https;
    writeToSocket(m_message.serializedHead(absoluteForm), 0);
    if (!m_source)
        m_bodySent = true;
    pumpBody();
    // Sent now rather than at the loop's next turn, which would cost a wake-up of its own.
    if (m_socket)
        m_socket->flush();
}

void HTTPStream::writeToSocket(const QByteArray &bytes, quint64 bodyBytes)
{
    m_pendingWrites.push_back({bytes.size(), bodyBytes});
    m_socket->write(bytes);
}

void HTTPStream::pumpBody()
{
    // A throttled body read may reschedule this stream; never interleave two pumps.
    if (!m_source || m_bodySent || m_uploadStopped || !m_socket || !m_scheduled ||
        !m_exchangeStarted || m_pumping)
        return;
    const QScopedValueRollback pumping(m_pumping, true);
    QByteArray piece(UploadPiece, Qt::Uninitialized);
    while (m_socket && m_source && m_socket->bytesToWrite() < UploadPiece) {
        qint64 want = UploadPiece;
        if (m_announcedLength)
            want = qint64(qMin<quint64>(quint64(want), *m_announcedLength - m_bodyBytesRead));
        const qint64 n = want > 0 ? m_source->read(piece.data(), want) : 0;
        if (n < 0) {
            fail(StreamError::Kind::BodyReadFailed,
                 QStringLiteral("the request body could not be read"));
            return;
        }
        if (n == 0) {
            if (m_announcedLength && m_bodyBytesRead < *m_announcedLength) {
                fail(StreamError::Kind::BodyReadFailed,
                     QStringLiteral("the request body ended before its announced length"));
                return;
            }
            if (m_chunkedUpload)
                writeToSocket("0\r\n\r\n", 0);
            m_bodySent = true;
            m_source.reset();
            return;
        }
        m_bodyBytesRead += quint64(n);
        if (m_chunkedUpload)
            writeToSocket(QByteArray::number(n, 16) + "\r\n" + piece.left(n) + "\r\n", quint64(n));
        else
            writeToSocket(piece.left(n), quint64(n));
    }
}

void HTTPStream::onBytesWritten(qint64 written)
{
    while (written > 0 && !m_pendingWrites.empty()) {
        PendingWrite &front = m_pendingWrites.front();
        const qint64 taken = qMin(written, front.wireBytes);
        front.wireBytes -= taken;
        written -= taken;
        if (front.wireBytes == 0) {
            m_bodyBytesWritten += front.bodyBytes;
            m_pendingWrites.pop_front();
        }
    }
    pumpBody();
}

void HTTPStream::onReadyRead()
{
    fromSocket([this] { pullFromSocket(); });
}

void HTTPStream::pullFromSocket()
{
    // Body bytes stay in the socket until the client reads them straight into its own
    // buffer; only heads and framing go through the parser here.
    while (m_socket && !m_parser.isDone() && !m_parser.hasFailed() &&
           (m_tunnelling || m_parser.rawBodyRemaining() == 0) &&
           m_body.size() - m_bodyOffset < MaxBufferedBody) {
        const qint64 available = m_socket->bytesAvailable();
        if (available <= 0)
            break;
        // One buffer for every read of every stream on this thread: a fresh large block costs
        // a mapping and a page fault per page, which a small response would pay in full.
        thread_local QByteArray chunk(SocketReadPiece, Qt::Uninitialized);
        const qint64 n = m_socket->read(chunk.data(), qMin(available, SocketReadPiece));
        if (n <= 0)
            break;
        afterParse(m_parser.feed(chunk.constData(), n, m_body), n);
    }
    if (m_socket && m_parser.isDone() && m_socket->bytesAvailable() > 0)
        m_dirty = true;
    if (m_parser.hasFailed()) {
        fail(m_parser.failure() == HTTPResponseParser::Failure::Truncated
                 ? StreamError::Kind::ConnectionLost
                 : StreamError::Kind::BadServerResponse,
             m_parser.failureText());
        return;
    }
    checkEndOfStream();
    if (m_parser.isHeadComplete())
        signalLater();
}

bool HTTPStream::hasBytesAvailable() const
{
    if (m_body.size() > m_bodyOffset)
        return true;
    return m_socket && !m_tunnelling && m_parser.isHeadComplete() &&
           m_parser.rawBodyRemaining() > 0 && m_socket->bytesAvailable() > 0;
}

void HTTPStream::afterParse(qsizetype consumed, qsizetype offered)
{
    if (m_tunnelling && m_parser.isHeadComplete()) {
        m_tunnelling = false;
        const int status = m_parser.head().statusCode();
        if (status >= 200 && status < 300) {
            if (consumed < offered) {
                fail(StreamError::Kind::BadServerResponse,
                     QStringLiteral("data after the proxy's tunnel answer"));
                return;
            }
            m_parser = HTTPResponseParser(m_message.method());
            m_socket->setPeerVerifyName(m_route.host);
            m_socket->startClientEncryption();
            return;
        }
        // The proxy's refusal is the answer the engine gets, so it can see a 407.
        m_exchangeStarted = true;
        m_openPending = true;
        m_bodySent = true;
        m_source.reset();
        m_dirty = true;
    }
    if (consumed < offered)
        m_dirty = true;
    if (m_parser.isHeadComplete() && !m_bodySent && !m_uploadStopped) {
        // A final answer before the whole body went out: stop sending, never reuse.
        m_uploadStopped = true;
        m_dirty = true;
    }
    if (m_parser.isDone())
        releaseConnectionIfClean();
}

void HTTPStream::checkEndOfStream()
{
    if (!m_endOfStream || m_parser.isDone() || m_parser.hasFailed() || !m_error.isNull())
        return;
    if (m_socket && m_socket->bytesAvailable() > 0)
        return;
    m_parser.finishAtEndOfStream();
    if (m_parser.hasFailed()) {
        fail(StreamError::Kind::ConnectionLost, m_parser.failureText());
        return;
    }
    signalLater();
}

bool HTTPStream::connectionIsReusable() const
{
    if (m_streamId < 0 || !m_socket || !m_parser.isDone() || m_dirty || m_endOfStream ||
        !m_bodySent || m_uploadStopped || m_socket->bytesAvailable() > 0 ||
        m_socket->state() != QAbstractSocket::ConnectedState ||
        m_parser.framing() == HTTPResponseParser::Framing::UntilClose)
        return false;
    const auto requested = m_message.header("Connection");
    if (requested && requested->trimmed().compare("close", Qt::CaseInsensitive) == 0)
        return false;
    const HTTPResponseHead &head = m_parser.head();
    if (head.version() == "HTTP/1.0")
        return head.hasConnectionToken("keep-alive");
    return !head.hasConnectionToken("close");
}

void HTTPStream::releaseConnectionIfClean()
{
    if (!connectionIsReusable())
        return;
    m_socket->disconnect(this);
    ConnectionTable::instance().putIdle(m_streamId, m_route, std::move(m_socket));
    m_released = true;
}

void HTTPStream::onSocketError(QAbstractSocket::SocketError socketError)
{
    fromSocket([this, socketError] { handleSocketError(socketError); });
}

void HTTPStream::handleSocketError(QAbstractSocket::SocketError socketError)
{
    if (socketError == QAbstractSocket::RemoteHostClosedError) {
        m_endOfStream = true;
        pullFromSocket();
        return;
    }
    if (m_parser.isDone())
        return;
    const StreamError::Kind kind = kindOf(socketError, m_exchangeStarted);
    QString text = m_socket ? m_socket->errorString() : QString();
    if (kind == StreamError::Kind::Tls && m_socket) {
        for (const QSslError &sslError : m_socket->sslHandshakeErrors())
            text += QStringLiteral("; ") + sslError.errorString();
    }
    fail(kind, text);
}

void HTTPStream::fail(StreamError::Kind kind, const QString &text)
{
    if (!m_error.isNull() || m_closed)
        return;
    m_error = StreamError{kind, text};
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket.release()->deleteLater();
    }
    m_source.reset();
    signalLater();
}

void HTTPStream::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_client = nullptr;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket.release()->deleteLater();
    }
    m_source.reset();
}

void HTTPStream::schedule()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    pumpBody();
    pullFromSocket();
    signalLater();
}

void HTTPStream::unschedule()
{
    m_scheduled = false;
}

qint64 HTTPStream::read(char *buffer, qint64 maxLength)
{
    if (!m_error.isNull())
        return -1;
    qint64 n = qMin(maxLength, qint64(m_body.size() - m_bodyOffset));
    if (n > 0) {
        std::memcpy(buffer, m_body.constData() + m_bodyOffset, size_t(n));
        m_bodyOffset += n;
        if (m_bodyOffset == m_body.size()) {
            m_body.resize(0);
            m_bodyOffset = 0;
        } else if (m_bodyOffset > MaxBufferedBody) {
            m_body.remove(0, m_bodyOffset);
            m_bodyOffset = 0;
        }
    } else if (hasBytesAvailable()) {
        const qint64 wanted =
            qint64(qMin<quint64>(quint64(maxLength), m_parser.rawBodyRemaining()));
        n = qMax<qint64>(m_socket->read(buffer, wanted), 0);
        m_parser.consumeRawBody(quint64(n));
        if (m_parser.isDone())
            releaseConnectionIfClean();
    }
    if (n > 0)
        m_readDuringCallback = true;
    pullFromSocket();
    return n;
}

const HTTPResponseHead *HTTPStream::responseHead() const
{
    return m_parser.isHeadComplete() && !m_tunnelling ? &m_parser.head() : nullptr;
}

void HTTPStream::signalLater()
{
    if (!m_client || !m_scheduled || m_closed)
        return;
    if (m_delivering) {
        m_signalledWhileDelivering = true;
        return;
    }
    if (m_inSocketSignal) {
        m_deliverNow = true;
        return;
    }
    if (m_deliveryPosted)
        return;
    m_deliveryPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_deliveryPosted = false;
            deliver();
        },
        Qt::QueuedConnection);
}

void HTTPStream::deliver()
{
    if (m_delivering) {
        m_signalledWhileDelivering = true;
        return;
    }
    bool again = true;
    {
        const QScopedValueRollback delivering(m_delivering, true);
        again = deliverReadyEvents();
    }
    if (again || m_signalledWhileDelivering)
        signalLater();
}

bool HTTPStream::deliverReadyEvents()
{
    // Events that are ready one after the other go out in one pass, a bounded number of them,
    // so that a small response costs no extra turns of the event loop. What the client's
    // calls signal meanwhile is seen by the next round; only a pass that stops early leaves
    // anything for later.
    for (int round = 0; round < MaxEventsPerDelivery; ++round) {
        m_signalledWhileDelivering = false;
        if (!m_client || !m_scheduled || m_closed || m_terminalSignalled)
            return false;
        Event event;
        if (m_openPending) {
            m_openPending = false;
            event = OpenCompleted;
        } else if (!m_error.isNull()) {
            m_terminalSignalled = true;
            event = ErrorOccurred;
        } else if (!m_parser.isHeadComplete() || m_tunnelling) {
            return false;
        } else if (hasBytesAvailable()) {
            event = HasBytesAvailable;
        } else if (m_parser.isDone()) {
            m_terminalSignalled = true;
            event = EndEncountered;
        } else {
            return false;
        }
        m_readDuringCallback = false;
        Client client = m_client;
        client(event);
        if (m_closed || m_terminalSignalled) {
            m_signalledWhileDelivering = false;
            return false;
        }
        // A client that left the bytes where they were hears of them again only with new ones.
        if (event == HasBytesAvailable && !m_readDuringCallback && hasBytesAvailable())
            return false;
    }
    return true;
}
