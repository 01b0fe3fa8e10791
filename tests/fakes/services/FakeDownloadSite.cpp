#include "fakes/services/FakeDownloadSite.h"

namespace Fakes {

FakeDownloadSite::FakeDownloadSite(FakeHttpServer::Transport transport)
    : m_server([this](const FakeRequest &request) { return handle(request); }, transport)
{}

void FakeDownloadSite::serve(const QString &path, const FakeResponse &response)
{
    QMutexLocker lock(&m_mutex);
    m_responses.insert(path, response);
}

void FakeDownloadSite::serveZip(const QString &path, const QByteArray &archive)
{
    serve(path, {200, "application/zip", archive});
}

void FakeDownloadSite::serveFile(const QString &path, const QByteArray &content)
{
    serve(path, {200, "application/octet-stream", content});
}

void FakeDownloadSite::servePage(const QString &path, const QByteArray &body)
{
    serve(path, FakeResponse::html(body));
}

QStringList FakeDownloadSite::requestedPaths() const
{
    QStringList paths;
    for (const FakeRequest &request : m_server.requests())
        paths.append(QString::fromUtf8(request.path()));
    return paths;
}

FakeResponse FakeDownloadSite::handle(const FakeRequest &request)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_responses.constFind(QString::fromUtf8(request.path()));
    if (found == m_responses.constEnd())
        return FakeResponse::html("<html><body>Not Found</body></html>", 404);
    return *found;
}

} // namespace Fakes
