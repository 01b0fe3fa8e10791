#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <thread>
#include <utility>

class QThread;
class FakeHttpWorker;
class FakeConnection;

// One request as the fake server received it.
struct RecordedRequest
{
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    int connection = 0; // 1 for the first connection accepted, 2 for the next, ...

    QString path() const;
    // The value of a header in any case, or a null array.
    QByteArray header(const QByteArray &name) const;
};

// What the fake server answers. Every failure is a one-line switch.
struct FakeReply
{
    enum class Framing
    {
        Length,
        Chunked,
        Close
    };

    int status = 200;
    QByteArray reason = "OK";
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    qint64 bodyRepeat = 1; // the body is sent this many times over (large bodies)
    Framing framing = Framing::Length;
    int chunkSize = 7;               // chunk length with chunked framing
    int delayMs = 0;                 // wait before answering
    bool neverAnswer = false;        // read the request, then stay silent
    bool closeWithoutAnswer = false; // close the connection as soon as the request is in
    bool closeAfter = false;         // close after the reply ("Connection: close" is added)
    qint64 closeAfterBodyBytes = -1; // cut the connection after this many body bytes
    qint64 stallAfterBodyBytes = -1; // stop sending after this many body bytes, stay connected
    int trickleMs = 0;               // send one body piece (chunkSize with chunked) this often
    QByteArray raw;                  // sent verbatim in place of a built reply

    static FakeReply ok(QByteArray body, QByteArray contentType = "text/plain");
    static FakeReply redirect(int status, QByteArray location);
    FakeReply &withHeader(QByteArray name, QByteArray value);
};

// A scripted HTTP/1.1 server on 127.0.0.1 with an ephemeral port, on a thread of its own, so
// that tests and benchmarks can block their own thread while it answers. It serves replies
// per path, keeps connections alive unless told otherwise, answers CONNECT by turning the
// connection into TLS, and records every request and connection.
class FakeHttpServer
{
public:
    enum class Tls
    {
        Off,
        Trusted,    // a certificate signed by the committed test authority
        SelfSigned, // a certificate no authority vouches for
    };

    explicit FakeHttpServer(Tls tls = Tls::Off);
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer &) = delete;
    FakeHttpServer &operator=(const FakeHttpServer &) = delete;

    quint16 port() const { return m_port; }
    QUrl url(const QString &pathAndQuery = QStringLiteral("/")) const;

    void setReply(const QString &path, FakeReply reply);
    // Consulted for paths without a reply of their own.
    void setHandler(std::function<FakeReply(const RecordedRequest &)> handler);
    // Every connection first asks for a SOCKS5 tunnel (no authentication), then speaks HTTP.
    void setSocks5(bool socks5);
    // The "host:port" targets asked for through SOCKS5.
    QStringList socksTargets() const;
    // Close a kept-alive connection once it has been idle this long (0: never).
    void setIdleCloseMs(int milliseconds);

    int connectionCount() const;
    // Connections that have ended, whichever side closed them.
    int closedConnectionCount() const;
    QList<RecordedRequest> requests() const;
    RecordedRequest lastRequest() const;

    // The test authority's certificate; the engine trusts it through TROVANEL_EXTRA_CA.
    static QString caCertificatePath();

private:
    friend class FakeHttpWorker;
    friend class FakeConnection;
    int idleCloseMs() const;
    bool isSocks5() const;
    void recordSocksTarget(const QString &target);
    class FakeConnection;
    FakeReply replyFor(const RecordedRequest &request);
    void record(const RecordedRequest &request);
    int nextConnectionNumber();
    void noteClosed();

    mutable QMutex m_mutex;
    QMap<QString, FakeReply> m_replies;
    std::function<FakeReply(const RecordedRequest &)> m_handler;
    QList<RecordedRequest> m_requests;
    int m_connections = 0;
    int m_closedConnections = 0;
    int m_idleCloseMs = 0;
    bool m_socks5 = false;
    QStringList m_socksTargets;
    Tls m_tls;
    quint16 m_port = 0;
    std::thread m_thread;
    QThread *m_loopThread = nullptr;
};
