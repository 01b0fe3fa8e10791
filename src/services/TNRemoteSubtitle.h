#pragma once

#include "catalogue/ObjectId.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One subtitle as a service reports it. A null string or an empty optional is "absent",
// apart from "" and 0. Search results never carry data or subtitleOID.
struct TNRemoteSubtitle
{
    ObjectId videoFileOID;
    QString subtitleID;
    QString name;
    QString lang; // in the service's own code
    QString service;
    QString downloadURL;
    QString subHash;
    QString subFormat;
    QString subFileName;
    QString imdbID;
    std::optional<qint64> season;
    std::optional<qint64> episode;
    std::optional<qint64> year;
    QString releaseInfo;
    QByteArray data;
    ObjectId subtitleOID;
};

// A search result list; std::nullopt stands for a reply that could not be used.
using RemoteSubtitles = std::optional<QList<TNRemoteSubtitle>>;
