#pragma once

#include "services/TNRemoteSubtitle.h"
#include "services/VideoFileSearchDictionary.h"

#include <QStringList>
#include <QUrl>

#include <optional>

// The SubDB client: the service's list of languages. Its requests identify the program the
// way the service asks, with the program's web address in the user agent.
class SubDBApi
{
public:
    // host: the address of the interface, e.g. http://api.thesubdb.com/; webSite: the
    // program's web address.
    SubDBApi(QUrl host, QUrl webSite);

    // The service's language codes in its order, or nothing when the request fails.
    std::optional<QStringList> languages() const;
    // The service's search is not part of the program yet: there are never results.
    RemoteSubtitles searchSubtitleUsingWeb(const VideoFileSearchDictionary &file,
                                           const QString &language) const;

    QString userAgent() const;

private:
    QUrl m_host;
    QUrl m_webSite;
};
