#include "fakes/services/FakeSubDB.h"

namespace Fakes {

FakeSubDB::FakeSubDB() : m_server([this](const FakeRequest &request) { return handle(request); }) {}

void FakeSubDB::setLanguagesReply(LanguagesReply reply)
{
    QMutexLocker lock(&m_mutex);
    m_reply = reply;
}

FakeResponse FakeSubDB::handle(const FakeRequest &request)
{
    const QByteArray agent = request.header("User-Agent");
    if (!agent.startsWith("SubDB/1.0 (Trovanel/1.0; ") || !agent.endsWith(')'))
        return {400, "text/plain", "Bad Request"};
    if (request.method != "GET" || request.target != "/?action=languages")
        return {404, "text/plain", "Not Found"};
    QMutexLocker lock(&m_mutex);
    switch (m_reply) {
    case LanguagesReply::Ok:
        return {200, "text/plain", Languages};
    case LanguagesReply::ServerError:
        return {500, "text/plain", "Internal Server Error"};
    case LanguagesReply::Empty:
        break;
    }
    return {200, "text/plain", {}};
}

} // namespace Fakes
