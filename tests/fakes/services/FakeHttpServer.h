#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace Fakes {

struct FakeRequest
{
    QByteArray method;
    QByteArray target; // path and query as sent
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray path() const;
    QByteArray query() const; // raw, without '?'
    QByteArray header(const QByteArray &name) const;
};

struct FakeResponse
{
    // How the reply leaves the server: whole, never (the connection stays open and
    // silent), cut short of its Content-Length, not at all (closed at once), one byte at a
    // time, or as generatedSize bytes made while they are sent (never held whole, and with no
    // Content-Length: the body ends with the connection).
    enum class Delivery
    {
        Whole,
        Stall,
        Truncated,
        Close,
        Drip,
        Generated
    };

    int status = 200;
    QByteArray contentType = "text/xml";
    QByteArray body;
    Delivery delivery = Delivery::Whole;
    int dripIntervalMs = 0;
    qint64 generatedSize = 0;

    static FakeResponse xml(QByteArray body) { return {200, "text/xml", std::move(body)}; }
    static FakeResponse html(QByteArray body, int status = 200)
    {
        return {status, "text/html", std::move(body)};
    }
    static FakeResponse stall() { return {200, "text/xml", {}, Delivery::Stall}; }
    static FakeResponse drip(QByteArray body, int intervalMs)
    {
        return {200, "text/xml", std::move(body), Delivery::Drip, intervalMs};
    }
    static FakeResponse generated(qint64 size)
    {
        return {200, "text/xml", {}, Delivery::Generated, 0, size};
    }
};

// An HTTP/1.1 server on 127.0.0.1 with an ephemeral port, running on its own thread and
// keeping connections alive as real services do. Every request is recorded before the handler sees
// it; the handler runs on the server's thread.
class FakeHttpServer
{
public:
    using Handler = std::function<FakeResponse(const FakeRequest &)>;
    enum class Transport
    {
        Plain,
        Tls
    };

    explicit FakeHttpServer(Handler handler, Transport transport = Transport::Plain);
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer &) = delete;
    FakeHttpServer &operator=(const FakeHttpServer &) = delete;

    quint16 port() const { return m_port; }
    QUrl url(const QString &pathAndQuery = {}) const;
    QList<FakeRequest> requests() const;
    void clearRequests();
    // Connections accepted so far.
    int connectionCount() const { return m_connections.load(); }

    // Stops listening and drops open connections: later connections are refused.
    void stop();

    // The PEM file of the authority that signed the TLS server's certificate.
    static QString certificateAuthorityPath();

    void record(const FakeRequest &request);
    const Handler &handler() const { return m_handler; }

private:
    Handler m_handler;
    Transport m_transport;
    quint16 m_port = 0;
    QThread m_thread;
    QObject *m_worker = nullptr;
    mutable QMutex m_mutex;
    QList<FakeRequest> m_requests;
    std::atomic<int> m_connections = 0;
};

} // namespace Fakes
