#pragma once

#include "catalogue/VideoFile.h"

#include <QString>
#include <QStringList>

#include <optional>

// What a file name says about its video.
struct ParserResult
{
    QString name;
    // A season comes only with an episode; an episode may stand alone (absolute numbering
    // of anime, parts of a documentary).
    std::optional<qint32> season;
    std::optional<qint32> episode;
    std::optional<qint32> year;
    // Every release tag followed by a full stop; empty when none matched.
    QString release = QStringLiteral("");
    VideoFileType fileType = VideoFileTypeUndetermined;
};

// Reads title, season, episode, year and release tags from a video or subtitle file
// name with four lists of case-insensitive patterns. Positions are UTF-16 indexes
// into the working text.
class TNVideoFileParser final
{
public:
    struct YearInfo
    {
        qint32 yearInfo = 0;
        qsizetype yearRange = 0;
    };
    struct SeasonEpisodeInfo
    {
        // A group that took no part or matched nothing leaves its number absent: an
        // episode alone is absolute numbering, a season alone a whole season's pack.
        std::optional<qint32> fileSeason;
        std::optional<qint32> fileEpisode;
        qsizetype fileRange = 0;
    };
    struct ReleaseInfo
    {
        QString releaseInfo = QStringLiteral("");
        std::optional<qsizetype> releaseRange;
    };

    // The database path is accepted for the caller's sake and not used.
    TNVideoFileParser(QStringList seasonExpressions, QStringList yearExpressions,
                      QStringList folderExpressions, QStringList cleanExpressions,
                      const QString &videoDatabase = {});

    // A parser with the pattern lists of the bundled "Regexp" resource; a list the
    // resource lacks is empty.
    static TNVideoFileParser withBundledExpressions(const QString &videoDatabase = {});

    // Reads the last path component. When that holds no title before its numbering,
    // the title comes from the nearest folder above that names a show, and a season
    // folder on the way gives the season the file lacks.
    ParserResult parseFile(const QString &path) const;

    // What a search asks the services for: the parsed name, or when that is empty the
    // file name without its extension, its separators made single blanks.
    static QString searchKeyword(const QString &parsedName, const QString &path);

    std::optional<YearInfo> parseYear(const QString &text) const;
    std::optional<SeasonEpisodeInfo> parseSeasonEpisode(const QString &text) const;
    std::optional<ReleaseInfo> findReleaseInfo(const QString &text) const;
    QString cleanupName(const QString &text) const;

    const QStringList &regexSeason() const { return m_regexSeason; }
    const QStringList &regexYear() const { return m_regexYear; }
    const QStringList &regexFolder() const { return m_regexFolder; }
    const QStringList &regexClean() const { return m_regexClean; }

private:
    struct NameReading
    {
        ParserResult result;
        // Where the numbering starts in the working text, when there is one.
        std::optional<qsizetype> numberingAt;
        // A season the name gives without an episode: a season pack ("Show.S01.720p"), or
        // a season word beside absolute numbering ("(Season 2) - 13").
        std::optional<qint32> markedSeason;
    };
    // What a folder above a video is, by the first "SeasonFolder" pattern that matches it:
    // its group 1 holds the season of a season folder, or the word of a collection of shows
    // (TV, Movies); a match without it is a folder inside a show (Extras, Disc 1); a folder
    // that no pattern matches names the show.
    struct FolderReading
    {
        enum Kind
        {
            Show,
            Season,
            InsideShow,
            Collection
        } kind = Show;
        std::optional<qint32> season;
    };
    NameReading parseName(const QString &text) const;
    struct Numbering
    {
        SeasonEpisodeInfo info;
        // The season pattern that found it, and the length of its text.
        qsizetype pattern = 0;
        qsizetype length = 0;
    };
    // The first numbering that the season patterns from the given one on find.
    std::optional<Numbering> seasonEpisodeFrom(const QString &text, qsizetype firstPattern) const;
    // The cleaned title; laterEpisode is given when the name is numbered after it.
    QString titleOf(const QString &candidate, std::optional<qint32> laterEpisode) const;
    FolderReading readFolder(const QString &folder) const;
    void completeFromFolders(QString folders, const QString &text, NameReading &file) const;

    QStringList m_regexSeason;
    QStringList m_regexYear;
    QStringList m_regexFolder;
    QStringList m_regexClean;
    // The clean patterns that also name release tags: those whose text holds "dvdrip".
    QStringList m_regexRelease;
};
