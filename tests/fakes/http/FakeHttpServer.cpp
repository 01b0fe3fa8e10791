#include "fakes/http/FakeHttpServer.h"

#include <QEventLoop>
#include <QFile>
#include <QMutexLocker>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <future>

namespace {

QString certificatePath(const QString &name)
{
    return QStringLiteral(TROVANEL_FAKES_CERT_DIR "/") + name;
}

QSslConfiguration serverConfiguration(const QString &stem)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    QFile key(certificatePath(stem + QStringLiteral(".key")));
    key.open(QIODevice::ReadOnly);
    configuration.setPrivateKey(QSslKey(&key, QSsl::Rsa));
    configuration.setLocalCertificate(
        QSslCertificate::fromPath(certificatePath(stem + QStringLiteral(".pem"))).value(0));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

// Decodes a chunked body at the start of data; -1 while incomplete, else bytes used.
qsizetype decodeChunked(const QByteArray &data, qsizetype from, QByteArray &body)
{
    qsizetype at = from;
    for (;;) {
        const qsizetype lineEnd = data.indexOf("\r\n", at);
        if (lineEnd < 0)
            return -1;
        const qsizetype size =
            data.mid(at, lineEnd - at).split(';').value(0).toLongLong(nullptr, 16);
        at = lineEnd + 2;
        if (size == 0) {
            const qsizetype end = data.indexOf("\r\n", at);
            return end < 0 ? -1 : end + 2;
        }
        if (data.size() < at + size + 2)
            return -1;
        body += data.mid(at, size);
        at += size + 2;
    }
}

// A copy of a list the server keeps growing, with storage of its own, for another thread. A
// thread that finds it holds shared storage alone moves the items out after a relaxed look at
// the count only, which does not order the other thread's last reads of them first.
template <typename T> QList<T> unshared(const QList<T> &list)
{
    return QList<T>(list.cbegin(), list.cend());
}

} // namespace

class FakeConnection final : public QObject
{
public:
    FakeConnection(FakeHttpServer *owner, QSslSocket *socket, int number)
        : m_owner(owner), m_socket(socket), m_number(number)
    {
        socket->setParent(this);
        connect(socket, &QIODevice::readyRead, this, &FakeConnection::onReadyRead);
        connect(socket, &QIODevice::bytesWritten, this, &FakeConnection::pump);
        connect(socket, &QAbstractSocket::disconnected, this, [this] {
            m_owner->noteClosed();
            deleteLater();
        });
        m_idleTimer.setSingleShot(true);
        connect(&m_idleTimer, &QTimer::timeout, this, [this] { m_socket->disconnectFromHost(); });
    }

private:
    void onReadyRead()
    {
        m_in += m_socket->readAll();
        m_idleTimer.stop();
        if (m_socksPending && !answerSocks())
            return;
        processRequests();
    }

    // Greeting, then the connect request; true once the tunnel stands.
    bool answerSocks()
    {
        if (!m_greeted) {
            if (m_in.size() < 2 || m_in.size() < 2 + quint8(m_in[1]))
                return false;
            m_in.remove(0, 2 + quint8(m_in[1]));
            m_socket->write(QByteArray("\x05\x00", 2));
            m_greeted = true;
        }
        if (m_in.size() < 5)
            return false;
        const quint8 type = quint8(m_in[3]);
        const qsizetype addressLength = type == 1 ? 4 : type == 4 ? 16 : 1 + quint8(m_in[4]);
        if (m_in.size() < 4 + addressLength + 2)
            return false;
        const QByteArray address = type == 3
                                       ? m_in.mid(5, addressLength - 1)
                                       : QByteArray("address type ") + QByteArray::number(type);
        const int port = quint8(m_in[4 + addressLength]) * 256 + quint8(m_in[5 + addressLength]);
        m_owner->recordSocksTarget(QString::fromLatin1(address) + ':' + QString::number(port));
        m_in.remove(0, 4 + addressLength + 2);
        m_socket->write(QByteArray("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10));
        m_socksPending = false;
        return true;
    }

    void processRequests()
    {
        while (!m_busy) {
            const qsizetype headEnd = m_in.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            RecordedRequest request;
            const QList<QByteArray> lines = m_in.left(headEnd).split('\n');
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            request.method = requestLine.value(0);
            request.target = requestLine.value(1);
            request.version = requestLine.value(2);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers.append(
                        {lines[i].left(colon), lines[i].mid(colon + 1).trimmed()});
            }
            qsizetype used = headEnd + 4;
            if (request.header("Transfer-Encoding").toLower() == "chunked") {
                used = decodeChunked(m_in, used, request.body);
                if (used < 0)
                    return;
            } else {
                const qsizetype length = request.header("Content-Length").toLongLong();
                if (m_in.size() < used + length)
                    return;
                request.body = m_in.mid(used, length);
                used += length;
            }
            m_in.remove(0, used);
            request.connection = m_number;
            m_owner->record(request);
            m_closeAfter = request.header("Connection").toLower() == "close" ||
                           (request.version == "HTTP/1.0" &&
                            request.header("Connection").toLower() != "keep-alive");
            if (request.method == "CONNECT") {
                m_socket->write("HTTP/1.1 200 Connection established\r\n\r\n");
                m_socket->setSslConfiguration(serverConfiguration(QStringLiteral("server")));
                m_socket->startServerEncryption();
                continue;
            }
            answer(m_owner->replyFor(request), request.method == "HEAD");
        }
    }

    void answer(const FakeReply &reply, bool headOnly)
    {
        m_busy = true;
        if (reply.neverAnswer)
            return;
        if (reply.closeWithoutAnswer) {
            m_socket->disconnectFromHost();
            return;
        }
        if (reply.delayMs > 0) {
            QTimer::singleShot(reply.delayMs, this,
                               [this, reply, headOnly] { send(reply, headOnly); });
            return;
        }
        send(reply, headOnly);
    }

    void send(const FakeReply &reply, bool headOnly)
    {
        m_reply = reply;
        if (!reply.raw.isEmpty()) {
            m_socket->write(reply.raw);
            m_closeAfter = true;
            m_remaining = 0;
            pump();
            return;
        }
        m_closeAfter =
            m_closeAfter || reply.closeAfter || reply.framing == FakeReply::Framing::Close;
        QByteArray head =
            "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reply.reason + "\r\n";
        const qint64 total = qint64(reply.body.size()) * reply.bodyRepeat;
        for (const auto &[name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        if (reply.framing == FakeReply::Framing::Length)
            head += "Content-Length: " + QByteArray::number(total) + "\r\n";
        else if (reply.framing == FakeReply::Framing::Chunked)
            head += "Transfer-Encoding: chunked\r\n";
        if (reply.closeAfter)
            head += "Connection: close\r\n";
        m_socket->write(head + "\r\n");
        m_remaining = headOnly || reply.status == 204 || reply.status == 304 ? 0 : total;
        m_sentBody = 0;
        m_chunkTrailerDue =
            reply.framing == FakeReply::Framing::Chunked && m_remaining >= 0 && !headOnly;
        pump();
    }

    void pump()
    {
        if (!m_busy || m_trickling)
            return;
        const QByteArray &body = m_reply.body;
        while (m_remaining > 0 && m_socket->bytesToWrite() < 1024 * 1024) {
            qint64 piece = qMin<qint64>(m_remaining, 256 * 1024);
            if (m_reply.framing == FakeReply::Framing::Chunked)
                piece = qMin<qint64>(piece, m_reply.chunkSize);
            if (m_reply.stallAfterBodyBytes >= 0 && m_sentBody >= m_reply.stallAfterBodyBytes)
                return;
            if (m_reply.stallAfterBodyBytes >= 0)
                piece = qMin(piece, m_reply.stallAfterBodyBytes - m_sentBody);
            if (m_reply.closeAfterBodyBytes >= 0)
                piece = qMin(piece, m_reply.closeAfterBodyBytes - m_sentBody);
            if (piece <= 0) {
                m_socket->disconnectFromHost();
                m_busy = false;
                return;
            }
            QByteArray bytes;
            bytes.reserve(piece);
            qint64 offset = m_sentBody % body.size();
            while (bytes.size() < piece) {
                const qint64 take = qMin<qint64>(piece - bytes.size(), body.size() - offset);
                bytes.append(body.constData() + offset, take);
                offset = 0;
            }
            if (m_reply.framing == FakeReply::Framing::Chunked)
                bytes = QByteArray::number(piece, 16) + "\r\n" + bytes + "\r\n";
            m_socket->write(bytes);
            m_sentBody += piece;
            m_remaining -= piece;
            if (m_reply.trickleMs > 0 && m_remaining > 0) {
                m_trickling = true;
                QTimer::singleShot(m_reply.trickleMs, this, [this] {
                    m_trickling = false;
                    pump();
                });
                return;
            }
        }
        if (m_remaining > 0 || m_socket->bytesToWrite() > 0)
            return;
        if (m_chunkTrailerDue) {
            m_chunkTrailerDue = false;
            m_socket->write("0\r\n\r\n");
            return;
        }
        m_busy = false;
        if (m_closeAfter) {
            m_socket->disconnectFromHost();
            return;
        }
        if (const int idle = m_owner->idleCloseMs(); idle > 0)
            m_idleTimer.start(idle);
        processRequests();
    }

    FakeHttpServer *m_owner;
    QSslSocket *m_socket;
    int m_number;
    QByteArray m_in;
    bool m_busy = false;
    bool m_closeAfter = false;
    bool m_chunkTrailerDue = false;
    bool m_trickling = false;
    bool m_socksPending = m_owner->isSocks5();
    bool m_greeted = false;
    FakeReply m_reply;
    qint64 m_remaining = 0;
    qint64 m_sentBody = 0;
    QTimer m_idleTimer;
};

class FakeHttpWorker final : public QTcpServer
{
public:
    FakeHttpWorker(FakeHttpServer *owner, FakeHttpServer::Tls tls) : m_owner(owner), m_tls(tls) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket;
        socket->setSocketDescriptor(descriptor);
        auto *connection = new FakeConnection(m_owner, socket, m_owner->nextConnectionNumber());
        connection->setParent(this);
        if (m_tls != FakeHttpServer::Tls::Off) {
            socket->setSslConfiguration(serverConfiguration(m_tls == FakeHttpServer::Tls::Trusted
                                                                ? QStringLiteral("server")
                                                                : QStringLiteral("self-signed")));
            socket->startServerEncryption();
        }
    }

private:
    FakeHttpServer *m_owner;
    FakeHttpServer::Tls m_tls;
};

QString RecordedRequest::path() const
{
    return QUrl::fromEncoded(target).path();
}

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

FakeReply FakeReply::ok(QByteArray body, QByteArray contentType)
{
    FakeReply reply;
    reply.body = std::move(body);
    reply.headers.append({"Content-Type", std::move(contentType)});
    return reply;
}

FakeReply FakeReply::redirect(int status, QByteArray location)
{
    FakeReply reply;
    reply.status = status;
    reply.reason = "Redirect";
    reply.headers.append({"Location", std::move(location)});
    return reply;
}

FakeReply &FakeReply::withHeader(QByteArray name, QByteArray value)
{
    headers.append({std::move(name), std::move(value)});
    return *this;
}

FakeHttpServer::FakeHttpServer(Tls tls) : m_tls(tls)
{
    if (qEnvironmentVariableIsEmpty("TROVANEL_EXTRA_CA"))
        qputenv("TROVANEL_EXTRA_CA", caCertificatePath().toLocal8Bit());
    // A thread of the standard library, joined at the end: the server's last steps are then
    // ordered before everything after it, where the thread sanitizer can see the order.
    std::promise<QThread *> listening;
    m_thread = std::thread([this, tls, &listening] {
        QEventLoop loop;
        FakeHttpWorker worker(this, tls);
        worker.listen(QHostAddress::LocalHost, 0);
        m_port = worker.serverPort();
        listening.set_value(QThread::currentThread());
        loop.exec();
    });
    m_loopThread = listening.get_future().get();
}

FakeHttpServer::~FakeHttpServer()
{
    m_loopThread->quit();
    m_thread.join();
}

QUrl FakeHttpServer::url(const QString &pathAndQuery) const
{
    const QString scheme = m_tls == Tls::Off ? QStringLiteral("http") : QStringLiteral("https");
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_port).arg(pathAndQuery));
}

void FakeHttpServer::setReply(const QString &path, FakeReply reply)
{
    QMutexLocker lock(&m_mutex);
    m_replies.insert(path, std::move(reply));
}

void FakeHttpServer::setHandler(std::function<FakeReply(const RecordedRequest &)> handler)
{
    QMutexLocker lock(&m_mutex);
    m_handler = std::move(handler);
}

void FakeHttpServer::setIdleCloseMs(int milliseconds)
{
    QMutexLocker lock(&m_mutex);
    m_idleCloseMs = milliseconds;
}

void FakeHttpServer::setSocks5(bool socks5)
{
    QMutexLocker lock(&m_mutex);
    m_socks5 = socks5;
}

bool FakeHttpServer::isSocks5() const
{
    QMutexLocker lock(&m_mutex);
    return m_socks5;
}

QStringList FakeHttpServer::socksTargets() const
{
    QMutexLocker lock(&m_mutex);
    return unshared(m_socksTargets);
}

void FakeHttpServer::recordSocksTarget(const QString &target)
{
    QMutexLocker lock(&m_mutex);
    m_socksTargets.append(target);
}

int FakeHttpServer::closedConnectionCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_closedConnections;
}

void FakeHttpServer::noteClosed()
{
    QMutexLocker lock(&m_mutex);
    ++m_closedConnections;
}

int FakeHttpServer::idleCloseMs() const
{
    QMutexLocker lock(&m_mutex);
    return m_idleCloseMs;
}

int FakeHttpServer::connectionCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_connections;
}

QList<RecordedRequest> FakeHttpServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return unshared(m_requests);
}

RecordedRequest FakeHttpServer::lastRequest() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests.value(m_requests.size() - 1);
}

QString FakeHttpServer::caCertificatePath()
{
    return certificatePath(QStringLiteral("test-ca.pem"));
}

FakeReply FakeHttpServer::replyFor(const RecordedRequest &request)
{
    QMutexLocker lock(&m_mutex);
    auto it = m_replies.find(request.path());
    if (it != m_replies.end())
        return *it;
    if (m_handler) {
        auto handler = m_handler;
        lock.unlock();
        return handler(request);
    }
    FakeReply missing = FakeReply::ok("no reply");
    missing.status = 404;
    missing.reason = "Not Found";
    return missing;
}

void FakeHttpServer::record(const RecordedRequest &request)
{
    QMutexLocker lock(&m_mutex);
    m_requests.append(request);
}

int FakeHttpServer::nextConnectionNumber()
{
    QMutexLocker lock(&m_mutex);
    return ++m_connections;
}
