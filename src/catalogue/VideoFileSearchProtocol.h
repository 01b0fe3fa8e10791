#pragma once

#include "catalogue/TNVideoFileParser.h"

#include <QString>

#include <functional>

// A video file the scan found, with what its reader learnt from the file itself off the main
// thread; without a reader only the path is set.
struct ScannedVideoFile
{
    QString path;
    ParserResult parsed;
    quint64 hash = 0;
    quint64 size = 0;
};

// Runs off the main thread for each video file before it is reported, on several files at
// once.
using VideoFileReader = std::function<void(ScannedVideoFile &file)>;

// Receives the video files a folder scan finds, on the main thread, one at a time and in the
// order the scan found them.
class VideoFileSearchProtocol
{
public:
    virtual ~VideoFileSearchProtocol() = default;

    // A video file to catalogue.
    virtual void didImportFile(const ScannedVideoFile &file) = 0;
    // A video file passed over because a subtitle file for it exists already.
    virtual void didFilterFile(const QString & /*path*/) {}
    // A file or folder that may hold videos but cannot be read or named (path as near to the
    // real one as text can tell it).
    virtual void didSkipUnreadable(const QString & /*path*/, const QString & /*reason*/) {}
};
