#pragma once

#include "platform/Error.h"
#include "platform/UrlLoader.h"
#include "platform/XMLRPC.h"
#include "services/ConnectionFailures.h"
#include "services/SubtitleSearchProtocol.h"
#include "services/TNRemoteSubtitle.h"
#include "services/VideoFileSearchDictionary.h"

#include <QMap>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <optional>

// The OpenSubtitles XML-RPC client. One session token serves the whole process: a login
// reuses it while it is set, and any logout clears it. Each instance is used by one
// thread at a time.
class OSApi
{
public:
    static constexpr qsizetype LargestSubtitle = 32 * 1024 * 1024;

    OSApi(QString username, QString password, QUrl endpoint);

    // A waiting call ends when this answers true.
    void setCancelCheck(UrlLoader::CancelCheck check) { m_cancel = std::move(check); }

    // 0 logged in, 1 account refused, 2 no connection or an unusable reply,
    // LoginAccountNotSent when the user name or password holds what the service cannot
    // receive unaltered: nothing is sent then, and accountProblem() says what.
    int login();
    QString accountProblem() const { return m_accountProblem; }
    // True when the service answered the LogOut call; the session is forgotten either way.
    bool logout();

    RemoteSubtitles searchSubtitlesByHash(const VideoFileSearchList &files,
                                          const QStringList &languages);
    RemoteSubtitles searchSubtitlesByIMDB(const VideoFileSearchList &files,
                                          const QStringList &languages);
    RemoteSubtitles searchSubtitlesByName(const VideoFileSearchList &files,
                                          const QStringList &languages);
    // Movie hash text to IMDB number, for the movies (no season or episode) among files.
    std::optional<QMap<QString, QString>> imdbSeachArrayFromFiles(const VideoFileSearchList &files);
    // Logs in, downloads and logs out. Nothing when the login fails. Throws
    // Exception::InvalidArgument, still logged in, when the reply's data cannot be walked.
    RemoteSubtitles downloadSubtitles(const QStringList &ids);

    std::optional<QVariantMap> serverInfo();
    std::optional<QVariantMap> noOperation();

    QString token() const { return m_token; }
    // Drops the process-wide session without telling the service; the next login asks for a
    // new one.
    static void forgetSession();

    // The calls of this instance that got no answer from the service.
    const ConnectionFailures &connectionFailures() const { return m_failures; }

    static QByteArray dataWithBase64EncodedString(const QString &text);
    // A gzip or zlib stream inflated; null when it is not one, is cut short, or would grow
    // past LargestSubtitle.
    static QByteArray gunzippedData(const QByteArray &data);

private:
    std::optional<QVariantMap> call(const QString &method, const QVariantList &params,
                                    Error *error = nullptr);
    // A call whose first parameter is the session token. When the service no longer knows
    // the session, logs in once more and repeats the call once.
    std::optional<QVariantMap> sessionCall(const QString &method, const QVariantList &params,
                                           Error *error = nullptr);
    // The query a video contributes: a struct, nothing, or the end of the whole search.
    struct QueryChoice
    {
        XMLRPC::OrderedStruct query;
        bool abandoned = false;
        QueryChoice(XMLRPC::OrderedStruct value) : query(std::move(value)) {}
        static QueryChoice skip() { return XMLRPC::OrderedStruct(); }
        static QueryChoice abandon()
        {
            QueryChoice choice = skip();
            choice.abandoned = true;
            return choice;
        }
    };
    RemoteSubtitles
    search(const VideoFileSearchList &files, const QStringList &languages,
           const std::function<QueryChoice(const VideoFileSearchDictionary &)> &queryFor);
    RemoteSubtitles searchSubtitles(const QVariantList &queries);

    QString m_username;
    QString m_password;
    QUrl m_endpoint;
    QString m_token;
    QString m_accountProblem;
    UrlLoader::CancelCheck m_cancel;
    ConnectionFailures m_failures;
};
