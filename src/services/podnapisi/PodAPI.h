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
    // site: the address of the web site, e.g. https://www.podnapisi.net. The markers cut the
    // download link out of a subtitle page.
    PodAPI(QString username, QString password, QString beginParse, QString endParse, QUrl site);

    void setCancelCheck(UrlLoader::CancelCheck check) { m_cancel = std::move(check); }

    // 0 logged in (or no account), 1 refused, 2 no connection.
    int login() const;
    // Empty when the page cannot be loaded or read; nothing when a record lacks its url,
    // release or id. unreachable, when given, tells whether the site gave no answer at all.
    RemoteSubtitles searchSubtitleUsingWeb(const VideoFileSearchDictionary &file,
                                           const QString &language,
                                           bool *unreachable = nullptr) const;
    // The search page's reply read into subtitles, as searchSubtitleUsingWeb answers.
    RemoteSubtitles subtitlesFromReply(const QByteArray &reply,
                                       const VideoFileSearchDictionary &file,
                                       const QString &language) const;

    QString hashPassword(const QString &nonce) const;
    QString login_initiate() const;
    int login_authenticate(const QString &hash) const;

    QUrl searchURL(const VideoFileSearchDictionary &file, const QString &language) const;

    // Reading links out of the site's pages. Each answers null when the page cannot be loaded
    // or what it looks for is not there.

    // The text between the first begin marker and the first end marker after it; the page's
    // last character is never part of the end marker.
    QString urlForPage(const QUrl &page, const QString &before, const QString &after) const;
    // The same with this client's markers.
    QString downloadURLForPage(const QUrl &page) const;
    // The link of the anchor around the first occurrence of the text: from the last "href=\""
    // before the text up to the first "\">" after it.
    QString urlForpage(const QUrl &page, const QString &searchString) const;
    // The release's first word that is the file's name without its extension, ignoring case;
    // else its first word.
    static QString nameFromRelease(const QString &release, const QString &videoFile);

private:
    // The page decoded byte for byte; null when it cannot be loaded.
    QString pageText(const QUrl &page) const;

    QString m_username;
    QString m_password;
    QString m_beginParse;
    QString m_endParse;
    QUrl m_site;
    UrlLoader::CancelCheck m_cancel;
};
