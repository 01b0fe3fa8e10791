#include "fakes/services/FakeHttpServer.h"

#include <QFile>
#include <QMetaObject>
#include <QSemaphore>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace Fakes {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("Cannot read %s", qPrintable(path));
    return file.readAll();
}

// Reads requests from a connection and answers each through the server's handler. A whole
// reply leaves the connection open for the next request unless the client asked to close it.
class Connection : public QObject
{
public:
    Connection(QTcpSocket *socket, FakeHttpServer *server)
        : QObject(socket), m_socket(socket), m_server(server)
    {
        connect(socket, &QTcpSocket::readyRead, this, [this] { readMore(); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        readMore();
    }

private:
    void readMore()
    {
        m_buffer += m_socket->readAll();
        while (!m_answered) {
            const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            FakeRequest request;
            const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            request.method = requestLine.value(0);
            request.target = requestLine.value(1);
            qsizetype contentLength = 0;
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon < 0)
                    continue;
                const QByteArray name = lines[i].left(colon).trimmed();
                const QByteArray value = lines[i].mid(colon + 1).trimmed();
                request.headers.append({name, value});
                if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
                    contentLength = value.toLongLong();
            }
            if (m_buffer.size() - headEnd - 4 < contentLength)
                return;
            request.body = m_buffer.mid(headEnd + 4, contentLength);
            m_buffer.remove(0, headEnd + 4 + contentLength);
            m_answered = true;
            m_server->record(request);
            const bool keepAlive = requestLine.value(2).trimmed() == "HTTP/1.1" &&
                                   request.header("Connection").toLower() != "close";
            answer(m_server->handler()(request), keepAlive);
        }
    }

    void answer(const FakeResponse &response, bool keepAlive)
    {
        using Delivery = FakeResponse::Delivery;
        if (response.delivery == Delivery::Stall)
            return;
        if (response.delivery == Delivery::Close) {
            m_socket->abort();
            return;
        }
        const qsizetype announced = response.delivery == Delivery::Truncated
                                        ? response.body.size() * 2 + 16
                                        : response.body.size();
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                          reasonPhrase(response.status) + "\r\n";
        head += "Content-Type: " + response.contentType + "\r\n";
        // A generated body is as long as it turns out to be: it ends when the connection does.
        if (response.delivery != Delivery::Generated)
            head += "Content-Length: " + QByteArray::number(announced) + "\r\n";
        keepAlive = keepAlive && response.delivery == Delivery::Whole;
        head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
        if (response.delivery == Delivery::Drip) {
            m_socket->write(head);
            drip(response.body, response.dripIntervalMs);
            return;
        }
        if (response.delivery == Delivery::Generated) {
            m_socket->write(head);
            m_remaining = response.generatedSize;
            connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { generateMore(); });
            generateMore();
            return;
        }
        m_socket->write(head + response.body);
        if (keepAlive)
            m_answered = false;
        else
            m_socket->disconnectFromHost();
    }

    void drip(const QByteArray &body, int intervalMs)
    {
        auto *timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timer, body, sent = qsizetype(0)]() mutable {
            if (sent == body.size()) {
                timer->stop();
                m_socket->disconnectFromHost();
                return;
            }
            m_socket->write(body.mid(sent++, 1));
        });
        timer->start(intervalMs);
    }

    void generateMore()
    {
        constexpr qint64 Chunk = 64 * 1024;
        while (m_remaining > 0 && m_socket->bytesToWrite() < 4 * Chunk) {
            const qint64 size = qMin(Chunk, m_remaining);
            m_socket->write(QByteArray(size, 'x'));
            m_remaining -= size;
        }
        if (m_remaining == 0 && m_socket->bytesToWrite() == 0)
            m_socket->disconnectFromHost();
    }

    QTcpSocket *m_socket;
    FakeHttpServer *m_server;
    QByteArray m_buffer;
    bool m_answered = false;
    qint64 m_remaining = 0;
};

} // namespace

QByteArray FakeRequest::path() const
{
    const qsizetype mark = target.indexOf('?');
    return mark < 0 ? target : target.left(mark);
}

QByteArray FakeRequest::query() const
{
    const qsizetype mark = target.indexOf('?');
    return mark < 0 ? QByteArray() : target.mid(mark + 1);
}

QByteArray FakeRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

FakeHttpServer::FakeHttpServer(Handler handler, Transport transport)
    : m_handler(std::move(handler)), m_transport(transport)
{
    m_thread.setObjectName(QStringLiteral("FakeHttpServer"));
    m_thread.start();
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        m_worker,
        [this] {
            QTcpServer *server = nullptr;
            if (m_transport == Transport::Tls) {
                auto *tls = new QSslServer(m_worker);
                QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
                const QString dir = QStringLiteral(TROVANEL_FAKES_CERT_DIR);
                configuration.setLocalCertificate(
                    QSslCertificate(readFile(dir + QStringLiteral("/server.pem"))));
                configuration.setPrivateKey(
                    QSslKey(readFile(dir + QStringLiteral("/server.key")), QSsl::Rsa));
                configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
                tls->setSslConfiguration(configuration);
                server = tls;
            } else {
                server = new QTcpServer(m_worker);
            }
            QObject::connect(server, &QTcpServer::pendingConnectionAvailable, server, [=, this] {
                while (QTcpSocket *socket = server->nextPendingConnection()) {
                    m_connections.fetch_add(1);
                    new Connection(socket, this);
                }
            });
            if (!server->listen(QHostAddress::LocalHost, 0))
                qFatal("The fake server cannot listen");
            m_port = server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

FakeHttpServer::~FakeHttpServer()
{
    QMetaObject::invokeMethod(
        m_worker, [this] { delete m_worker; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QUrl FakeHttpServer::url(const QString &pathAndQuery) const
{
    const QString scheme =
        m_transport == Transport::Tls ? QStringLiteral("https") : QStringLiteral("http");
    return QUrl(scheme + QStringLiteral("://127.0.0.1:") + QString::number(m_port) + pathAndQuery);
}

QList<FakeRequest> FakeHttpServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

void FakeHttpServer::clearRequests()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
}

void FakeHttpServer::record(const FakeRequest &request)
{
    QMutexLocker lock(&m_mutex);
    m_requests.append(request);
}

void FakeHttpServer::stop()
{
    QMetaObject::invokeMethod(
        m_worker,
        [this] {
            const auto children = m_worker->children();
            for (QObject *child : children)
                delete child;
        },
        Qt::BlockingQueuedConnection);
}

QString FakeHttpServer::certificateAuthorityPath()
{
    return QStringLiteral(TROVANEL_FAKES_CERT_DIR "/ca.pem");
}

} // namespace Fakes
