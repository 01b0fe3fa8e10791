#pragma once

#include "catalogue/ObjectId.h"

#include <QList>
#include <QString>

#include <optional>

// What the searches know of one video. Absent values are null strings or empty optionals;
// a hash of "" (a file too short to hash) is present.
struct VideoFileSearchDictionary
{
    ObjectId objectID;
    QString fileName; // full path
    std::optional<qint64> year;
    std::optional<qint64> season;
    std::optional<qint64> episode;
    QString name;
    QString fileHash;
    std::optional<qint64> fileSize;
    QString imdbB; // only in the copies the OpenSubtitles search makes

    bool hasSeasonAndEpisode() const { return season && episode; }
};

using VideoFileSearchList = QList<VideoFileSearchDictionary>;
