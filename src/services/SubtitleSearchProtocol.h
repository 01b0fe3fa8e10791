#pragma once

#include "services/TNRemoteSubtitle.h"

#include <QString>

// The login answer of a client whose service cannot be sent the account as it was typed:
// nothing was sent, and the user must change the account (beside 0 logged in, 1 refused
// and 2 no connection).
constexpr int LoginAccountNotSent = 3;

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
    // The account was not sent, for the reason given.
    virtual void didFailWithAccountProblem(const QString &service, const QString &problem)
    {
        Q_UNUSED(service);
        Q_UNUSED(problem);
    }
    virtual void didFinished(bool cancelled) { Q_UNUSED(cancelled); }
};
