#pragma once

#include "services/SubtitleSearchProtocol.h"

#include <QObject>
#include <QStringList>

// Keeps every report of a search, in the order the main thread received them.
class RecordingSearchDelegate : public QObject, public SubtitleSearchProtocol
{
public:
    void didReceiveSubtitles(const RemoteSubtitles &subtitles) override
    {
        events.append(subtitles ? QStringLiteral("results %1").arg(subtitles->size())
                                : QStringLiteral("results nil"));
        batches.append(subtitles);
    }
    void didLogin(const QString &service) override { events.append("login " + service); }
    void didFailWithLoginError(const QString &service) override
    {
        events.append("refused " + service);
    }
    void didFailWithError(const QString &service) override { events.append("failed " + service); }
    void didFinished(bool cancelled) override
    {
        events.append(cancelled ? QStringLiteral("finished cancelled")
                                : QStringLiteral("finished"));
        finished = true;
    }

    QStringList events;
    QList<RemoteSubtitles> batches;
    bool finished = false;
};
