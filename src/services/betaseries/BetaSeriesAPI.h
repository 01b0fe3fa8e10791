#pragma once

#include "platform/UrlLoader.h"
#include "services/TNRemoteSubtitle.h"
#include "services/VideoFileSearchDictionary.h"

#include <QUrl>

// The BetaSeries client: a login that trades the account for a token, and a search by the
// video's file name. Every request carries the application's key.
class BetaSeriesAPI
{
public:
    static inline const QString ApiKey = QStringLiteral("7d3f0a85c21e");

    // host: the address of the interface, e.g. http://api.betaseries.com
    BetaSeriesAPI(QString username, QString password, QUrl host);

    void setCancelCheck(UrlLoader::CancelCheck check) { m_cancel = std::move(check); }

    // 0 logged in (or no account), 1 refused, 2 no connection or an unusable reply.
    int login();
    // language: "VF", "VO" or null for both. Empty when the reply cannot be read; nothing
    // when a record lacks an element or the video has no file name. unreachable, when given,
    // tells whether the interface gave no answer at all.
    RemoteSubtitles searchSubtitleUsingWeb(const VideoFileSearchDictionary &file,
                                           const QString &language,
                                           bool *unreachable = nullptr) const;

    QString token() const { return m_token; }

    // The replies read as login and searchSubtitleUsingWeb read them. The token is nothing
    // for a reply that is not XML, empty when the reply names none (the last one named wins).
    static std::optional<QString> tokenFromReply(const QByteArray &reply);
    static RemoteSubtitles subtitlesFromReply(const QByteArray &reply,
                                              const VideoFileSearchDictionary &file);

    // The file name searched for: the video's, with the episode tag added when it lacks it.
    static QString searchFileName(const VideoFileSearchDictionary &file);

private:
    QString m_username;
    QString m_password;
    QUrl m_host;
    QString m_token;
    UrlLoader::CancelCheck m_cancel;
};
