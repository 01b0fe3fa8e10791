#pragma once

#include <QString>

// The settings holding the markers that cut the download link out of a Podnapisi subtitle
// page; a "trovanel://podparse" link sets them.
inline const QString TNPodParseBegin = QStringLiteral("TNPodParseBegin");
inline const QString TNPodParseEnd = QStringLiteral("TNPodParseEnd");
