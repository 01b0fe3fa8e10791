#pragma once

#include "fakes/services/FakeHttpServer.h"

#include <QHash>
#include <QStringList>

namespace Fakes {

// Serves subtitle downloads by path, as the Podnapisi (over TLS) and BetaSeries sites do:
// archives, plain files, the pages sent instead of a file, or errors. Unknown paths get 404.
class FakeDownloadSite
{
public:
    explicit FakeDownloadSite(
        FakeHttpServer::Transport transport = FakeHttpServer::Transport::Plain);

    QUrl url(const QString &path) const { return m_server.url(path); }
    FakeHttpServer &server() { return m_server; }

    void serve(const QString &path, const FakeResponse &response);
    void serveZip(const QString &path, const QByteArray &archive);
    void serveFile(const QString &path, const QByteArray &content);
    // A page beginning with a document type, as sent when the daily limit is reached.
    void servePage(const QString &path, const QByteArray &body);

    // Paths in the order they were asked for.
    QStringList requestedPaths() const;

private:
    FakeResponse handle(const FakeRequest &request);

    mutable QMutex m_mutex;
    QHash<QString, FakeResponse> m_responses;
    FakeHttpServer m_server; // last: it stops before the rest goes
};

} // namespace Fakes
