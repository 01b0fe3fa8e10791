#pragma once

#include "fakes/services/FakeHttpServer.h"

#include <QHash>
#include <QStringList>

namespace Fakes {

// The BetaSeries XML interface over plain HTTP: log-in for a token and subtitle search by
// file name. Every query is checked for the key, its keys' order and its escaping.
class FakeBetaSeries
{
public:
    enum class LoginReply
    {
        Ok,
        EmptyToken,
        TwoTokens,
        NotXml
    };

    FakeBetaSeries();

    QUrl host() const { return m_server.url(); }
    FakeHttpServer &server() { return m_server; }

    void addAccount(const QString &login, const QString &password);
    void setLoginReply(LoginReply reply);
    // The reply to a search for this file name (as decoded from the query).
    void setSearchReply(const QString &file, const QByteArray &xml);

    QStringList queries() const; // "path?query", raw, as received
    QStringList violations() const;

    static QByteArray subtitlesXml(const QByteArray &records);

private:
    FakeResponse handle(const FakeRequest &request);

    mutable QMutex m_mutex;
    QHash<QString, QString> m_passwordHashes;
    LoginReply m_loginReply = LoginReply::Ok;
    QHash<QString, QByteArray> m_searchReplies;
    QStringList m_queries;
    QStringList m_violations;
    FakeHttpServer m_server;
};

} // namespace Fakes
