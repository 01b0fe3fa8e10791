#pragma once

#include "services/TNRemoteSubtitle.h"

#include <QString>

// What a running search reports to, always on the main thread. Only the results are
// required; the other calls may be left out.
class SubtitleSearchProtocol
{
public:
    virtual ~SubtitleSearchProtocol() = default;

    // An empty list or nothing (a reply that could not be read) is delivered too.
    virtual void didReceiveSubtitles(const RemoteSubtitles &subtitles) = 0;
    virtual void didLogin(const QString &service) { Q_UNUSED(service); }
    virtual void didFailWithLoginError(const QString &service) { Q_UNUSED(service); }
    virtual void didFailWithError(const QString &service) { Q_UNUSED(service); }
    virtual void didFinished(bool cancelled) { Q_UNUSED(cancelled); }
};
