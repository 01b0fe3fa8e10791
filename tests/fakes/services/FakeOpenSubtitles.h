#pragma once

#include "fakes/services/FakeHttpServer.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace Fakes {

// The OpenSubtitles XML-RPC interface at /xml-rpc, answering like the real service.
// Every call is decoded and checked; what the program got wrong is collected in
// violations(). Failures are switched on per method.
class FakeOpenSubtitles
{
public:
    struct Subtitle
    {
        QString id;
        QString fileName;
        QString language; // three-letter code
        QString movieHash;
        QString movieName;
        std::optional<QString> movieYear;
        QString releaseName;
        QString imdb;
    };

    // Each parameter is a list of its wire type, its value and, for an array, its items' wire
    // types; struct members are a list of their wire type and value.
    struct Call
    {
        QString method;
        QVariantList params;

        // The value of a member of the index-th query of a SearchSubtitles call.
        QVariant queryField(int index, const QString &member) const;
    };

    enum class LoginReply
    {
        Ok,
        RefusedEmptyToken,
        RefusedNoToken,
        OkWithoutToken,
        NoStatus
    };
    enum class Failure
    {
        None,
        Fault,          // faultCode 503
        Html,           // an HTML page where XML was expected
        Stall,          // never answers
        DataMissing,    // "200 OK" without "data"
        EmptyArray,     // "data" is an empty array
        NonStructEntry, // a string in the middle of "data"
        DataStruct,     // "data" is a struct where an array belongs
        LimitReached,   // "407 Download limit reached" without data
        DeepNesting,    // "data" nests 30,000 arrays
        Base64Data      // downloads carry their data as <base64>, not as a string
    };

    FakeOpenSubtitles();

    QUrl endpoint() const;
    FakeHttpServer &server() { return m_server; }

    void addAccount(const QString &user, const QString &password);
    void addByHash(const QString &hash, const Subtitle &subtitle);
    void addByImdb(const QString &imdb, const Subtitle &subtitle);
    void addByQuery(const QString &query, const Subtitle &subtitle);
    void addMovie(const QString &hash, const QString &imdb);
    void addDownload(const QString &id, const QByteArray &content);

    void setLoginReply(LoginReply reply);
    void setFailure(const QString &method, Failure failure);
    // Applies the failure to one DownloadSubtitles call only, counted from 1.
    void setDownloadCallFailure(int call, Failure failure);
    // Forgets every session, as the service does when they expire.
    void expireSessions();

    QList<Call> calls() const;
    QStringList methods() const;
    QStringList violations() const;

private:
    FakeResponse handle(const FakeRequest &request);
    QByteArray answer(const Call &call);
    QByteArray logIn(const QVariantList &params);
    QByteArray searchSubtitles(const QVariantList &params);
    QByteArray checkMovieHash(const QVariantList &params);
    QByteArray downloadSubtitles(const QVariantList &params);
    bool expectParams(const Call &call, int count);
    // The recorded traffic of the real client sends these arrays' items as one type.
    void expectArrayOf(const QString &method, const QVariant &param, const QString &itemType);
    void expectMember(const QVariantMap &members, const QString &name, const QString &type);
    void violation(const QString &text);

    mutable QMutex m_mutex;
    QMap<QString, QString> m_accounts;
    QHash<QString, QList<Subtitle>> m_byHash;
    QHash<QString, QList<Subtitle>> m_byImdb;
    QHash<QString, QList<Subtitle>> m_byQuery;
    QMap<QString, QString> m_movies;
    QHash<QString, QByteArray> m_downloads;
    LoginReply m_loginReply = LoginReply::Ok;
    QHash<QString, Failure> m_failures;
    int m_downloadCalls = 0;
    std::pair<int, Failure> m_downloadCallFailure{0, Failure::None};
    QSet<QString> m_sessions;
    int m_tokenCounter = 0;
    QList<Call> m_calls;
    QStringList m_violations;
    FakeHttpServer m_server; // last: it stops before the rest goes
};

} // namespace Fakes
