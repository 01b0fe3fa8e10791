#pragma once

#include <QString>
#include <QUrl>

// The desktop's list of recently used files, the XBEL file that GTK and KDE applications
// share. Other programs write it too, so every entry this one did not make is kept as found,
// and a file that cannot be read as such a list is never replaced.
class RecentDocuments final
{
public:
    // A list beyond this size is no list this program rewrites.
    static constexpr qint64 MaximumSize = 16 * 1024 * 1024;

    // $XDG_DATA_HOME/recently-used.xbel
    static QString defaultPath();

    explicit RecentDocuments(QString path = defaultPath());

    // Adds the URL, or marks it used once more by this application. False, with a log line
    // and the file untouched, when the list is damaged, too large, a link, or not writable.
    bool noteNewRecentDocumentURL(const QUrl &url) const;

private:
    QString m_path;
};
