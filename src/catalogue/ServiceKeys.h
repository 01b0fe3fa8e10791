#pragma once

#include <QString>

// The names of the subtitle services: the "Name" of a service's settings entry, the service
// of a subtitle found there, and the name of its keychain items.
inline const QString OpenSubtitlesServiceKey = QStringLiteral("opensubtitles.org");
inline const QString PodnapisiServiceKey = QStringLiteral("podnapisi.net");
inline const QString BetaSeriesServiceKey = QStringLiteral("betaseries.com");
inline const QString SubDBServiceKey = QStringLiteral("thesubdb.com");
