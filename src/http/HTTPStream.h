#pragma once

#include "http/BodySource.h"
#include "http/HTTPMessage.h"
#include "http/HTTPResponseParser.h"
#include "http/HTTPRoute.h"
#include "http/StreamError.h"

#include <QObject>
#include <QSslSocket>

#include <deque>
#include <functional>
#include <memory>

// One HTTP exchange over a socket of its own or an idle kept-alive one: sends the message
// and its body in pieces, reads the response and tells its client through posted events.
// Lives and is used on the network thread only.
class HTTPStream final : public QObject
{
    Q_OBJECT

public:
    enum Event : int
    {
        OpenCompleted = 1,
        HasBytesAvailable = 2,
        ErrorOccurred = 8,
        EndEncountered = 16,
    };
    using Client = std::function<void(Event)>;

    static constexpr qint64 UploadPiece = 64 * 1024;
    static constexpr qint64 MaxBufferedBody = 1024 * 1024;
    static constexpr int MaxEventsPerDelivery = 8;

    explicit HTTPStream(HTTPMessage message, std::unique_ptr<BodySource> body = nullptr);
    ~HTTPStream() override;

    // Settings, before open().
    void setTlsSettings(const TlsSettings &settings) { m_route.tls = settings; }
    void setHttpProxy(const QString &host, quint16 port);
    void setSocksProxy(const QString &host, quint16 port);
    // Keep the socket for later exchanges under this id when the response allows it.
    void setPersistentStreamId(int streamId) { m_streamId = streamId; }

    void setClient(Client client) { m_client = std::move(client); }
    void clearClient() { m_client = nullptr; }

    // Starts connecting; never blocks. False only when already opened or closed.
    bool open();
    void close();

    // Events wait while the stream is unscheduled and are signalled again on scheduling.
    void schedule();
    void unschedule();
    bool isScheduled() const { return m_scheduled; }

    bool hasBytesAvailable() const;
    // Body bytes with the transfer coding removed; 0 when none are buffered, -1 after an error.
    qint64 read(char *buffer, qint64 maxLength);
    // Null until the head is complete.
    const HTTPResponseHead *responseHead() const;
    quint64 requestBodyBytesWritten() const { return m_bodyBytesWritten; }
    const StreamError &error() const { return m_error; }
    // True once the socket went back to the idle table after a clean response.
    bool didReleaseConnection() const { return m_released; }

private:
    void configureSocket();
    void adoptSocket(std::unique_ptr<QSslSocket> socket);
    void onConnected();
    void onEncrypted();
    void onReadyRead();
    void onBytesWritten(qint64 written);
    void onSocketError(QAbstractSocket::SocketError socketError);
    void handleSocketError(QAbstractSocket::SocketError socketError);
    template <typename Work> void fromSocket(Work work);
    void beginExchange();
    void pumpBody();
    void writeToSocket(const QByteArray &bytes, quint64 bodyBytes);
    void pullFromSocket();
    void checkEndOfStream();
    void afterParse(qsizetype consumed, qsizetype offered);
    void releaseConnectionIfClean();
    bool connectionIsReusable() const;
    void fail(StreamError::Kind kind, const QString &text);
    void signalLater();
    void deliver();
    // False when nothing is left to tell before something new happens.
    bool deliverReadyEvents();

    HTTPMessage m_message;
    std::unique_ptr<BodySource> m_source;
    HTTPRoute m_route;
    int m_streamId = -1;
    Client m_client;

    std::unique_ptr<QSslSocket> m_socket;
    HTTPResponseParser m_parser;
    bool m_tunnelling = false;
    QByteArray m_body;
    qsizetype m_bodyOffset = 0;

    struct PendingWrite
    {
        qint64 wireBytes;
        quint64 bodyBytes;
    };
    std::deque<PendingWrite> m_pendingWrites;
    quint64 m_bodyBytesWritten = 0;
    quint64 m_bodyBytesRead = 0;
    std::optional<quint64> m_announcedLength;
    bool m_chunkedUpload = false;
    bool m_bodySent = false;
    bool m_uploadStopped = false;
    bool m_pumping = false;

    bool m_opened = false;
    bool m_closed = false;
    bool m_scheduled = false;
    bool m_exchangeStarted = false;
    bool m_openPending = false;
    bool m_terminalSignalled = false;
    bool m_deliveryPosted = false;
    bool m_inSocketSignal = false;
    bool m_deliverNow = false;
    bool m_delivering = false;
    bool m_signalledWhileDelivering = false;
    bool m_readDuringCallback = false;
    bool m_endOfStream = false;
    bool m_dirty = false;
    bool m_released = false;
    StreamError m_error;
};
