#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class Subtitle;

// Writes one downloaded subtitle beside its video or into the download folder, named by the
// user's settings. Never writes outside that folder and never replaces an existing file; the
// names it writes show every character and fit the file system.
// Main thread only (it reads the catalogue).
class TNCopySubsController final
{
public:
    // Data that is the subtitle file itself. True when it was written, or when, without
    // renaming, a file of that name already stands there.
    bool copyFile(const QByteArray &data, const Subtitle *subtitle) const;
    // Data that is a zip archive holding the subtitle; the entry is chosen by the
    // subtitle's service. A BetaSeries download that is no archive is written as it is.
    bool copyZipFile(const QByteArray &data, const Subtitle *subtitle) const;

    // Where a subtitle of that name goes; null when the subtitle has no video, the name
    // leaves nothing to write, or every numbered name is taken.
    QString getDestinationPath(const Subtitle *subtitle, const QString &fileName) const;
    // The name with a "txt" extension replaced by the configured one.
    QString replaceExtensionIfNeeded(const QString &fileName) const;
    // The data in a new, uniquely named temporary zip file; null when it cannot be written.
    // The caller removes the file.
    QString copyZipToTempDir(const QByteArray &data) const;

    // The numbered names end before this number.
    static constexpr int NumberedNameLimit = 50;

private:
    // The names the subtitle may take, in order: its own name, or, when renaming, the
    // video's name with each language mark. Empty when there is no name to give.
    QStringList destinationCandidates(const Subtitle *subtitle, const QString &fileName) const;
    QStringList renamedCandidates(const Subtitle *subtitle, const QString &folder,
                                  const QString &extension) const;
    bool writeToDestination(const QByteArray &data, const Subtitle *subtitle,
                            const QString &fileName) const;
};
