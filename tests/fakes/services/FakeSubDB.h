#pragma once

#include "fakes/services/FakeHttpServer.h"

#include <QMutex>

namespace Fakes {

// The SubDB interface over plain HTTP: the list of languages. Requests whose user agent is
// not the one the service prescribes are refused with 400.
class FakeSubDB
{
public:
    enum class LanguagesReply
    {
        Ok,
        ServerError,
        Empty
    };

    static inline const QByteArray Languages = QByteArrayLiteral("en,fr,pt");

    FakeSubDB();

    QUrl host() const { return m_server.url(QStringLiteral("/")); }
    FakeHttpServer &server() { return m_server; }

    void setLanguagesReply(LanguagesReply reply);

private:
    FakeResponse handle(const FakeRequest &request);

    mutable QMutex m_mutex;
    LanguagesReply m_reply = LanguagesReply::Ok;
    FakeHttpServer m_server;
};

} // namespace Fakes
