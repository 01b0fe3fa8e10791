#pragma once

#include "catalogue/SubsBase.h"

// Values of VideoFile::filetype().
enum VideoFileType : qint16
{
    VideoFileTypeUndetermined = 0,
    VideoFileTypeMovie = 1,
    VideoFileTypeTVShow = 2,
};

// One imported video file. fileName is its full path; its candidates are subtitles().
class VideoFile final : public SubsBase
{
public:
    explicit VideoFile(TNModelController &store);

    std::optional<qint16> filetype() const { return m_filetype; }
    void setFiletype(std::optional<qint16> filetype);
    // True while the video still has to be searched.
    std::optional<bool> modified() const { return m_modified; }
    void setModified(std::optional<bool> modified);

    qint32 rating() const override { return 0; }
    QString language() const override { return QStringLiteral(""); }
    QString lastPathComponent() const override;

private:
    std::optional<qint16> m_filetype;
    std::optional<bool> m_modified;
};
