#pragma once

#include <QString>

// Receives the video files a folder scan finds, on the main thread, one at a time.
class VideoFileSearchProtocol
{
public:
    virtual ~VideoFileSearchProtocol() = default;

    // A video file to catalogue (full path).
    virtual void didImportFile(const QString &path) = 0;
    // A video file passed over because a subtitle file for it exists already.
    virtual void didFilterFile(const QString & /*path*/) {}
    // A file or folder that may hold videos but cannot be read or named (path as near to the
    // real one as text can tell it).
    virtual void didSkipUnreadable(const QString & /*path*/, const QString & /*reason*/) {}
};
