#pragma once

#include "platform/UrlLoader.h"
#include "services/TNRemoteSubtitle.h"
#include "services/VideoFileSearchDictionary.h"

#include <QUrl>

// The Podnapisi client: one search of the site's XML search page per video and language.
// The service side of its login does not exist: with an account it always succeeds.
class PodAPI
{
public:
    // site: the address of the web site, e.g. https://www.podnapisi.net
    PodAPI(QString username, QString password, QUrl site);

    void setCancelCheck(UrlLoader::CancelCheck check) { m_cancel = std::move(check); }

    // 0 logged in (or no account), 1 refused, 2 no connection.
    int login() const;
    // Empty when the page cannot be loaded or read; nothing when a record lacks its url,
    // release or id.
    RemoteSubtitles searchSubtitleUsingWeb(const VideoFileSearchDictionary &file,
                                           const QString &language) const;

    QString hashPassword(const QString &nonce) const;
    QString login_initiate() const;
    int login_authenticate(const QString &hash) const;

    QUrl searchURL(const VideoFileSearchDictionary &file, const QString &language) const;

private:
    QString m_username;
    QString m_password;
    QUrl m_site;
    UrlLoader::CancelCheck m_cancel;
};
