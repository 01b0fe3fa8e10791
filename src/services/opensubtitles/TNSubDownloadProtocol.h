#pragma once

#include "platform/Error.h"
#include "services/TNRemoteSubtitle.h"

// Receives the outcome of each subtitle of a download run, on the run's own thread.
class TNSubDownloadProtocol
{
public:
    virtual ~TNSubDownloadProtocol() = default;

    // subtitle always names the catalogue subtitle (subtitleOID). Without an error it also
    // carries subtitleID and the decoded file; with one it carries nothing else.
    virtual void subtitleDownloadEnded(const TNRemoteSubtitle &subtitle, const Error *error) = 0;
};
