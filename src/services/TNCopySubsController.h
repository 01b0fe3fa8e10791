#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class Subtitle;

// What writing a subtitle needs of it and of the settings, taken on the main thread so that
// the writing itself may run on any thread.
struct SubtitleTarget
{
    QString service;
    QString fileName;
    QString language;
    std::optional<QString> videoPath; // none when the subtitle has no video
    QString downloadFolder;
    QString txtReplacement;
    bool rename = false;
    bool appendLanguage = false;

    // Main thread only: it reads the catalogue.
    static SubtitleTarget of(const Subtitle *subtitle);
};

// Writes one downloaded subtitle beside its video or into the download folder, named by the
// user's settings. Never writes outside that folder and never replaces an existing file; the
// names it writes show every character and fit the file system. The calls taking a
// Subtitle are for the main thread; those taking a target, for any thread.
class TNCopySubsController final
{
public:
    // Data that is the subtitle file itself. True when it was written, or when, without
    // renaming, a file of that name already stands there.
    bool copyFile(const QByteArray &data, const SubtitleTarget &target) const;
    bool copyFile(const QByteArray &data, const Subtitle *subtitle) const;
    // Data that is a zip archive holding the subtitle; the entry is chosen by the
    // subtitle's service. A BetaSeries download that is no archive is written as it is.
    bool copyZipFile(const QByteArray &data, const SubtitleTarget &target) const;
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
    QStringList destinationCandidates(const SubtitleTarget &target, const QString &fileName) const;
    QStringList renamedCandidates(const SubtitleTarget &target, const QString &folder,
                                  const QString &extension) const;
    bool writeToDestination(const QByteArray &data, const SubtitleTarget &target,
                            const QString &fileName) const;
};
