#include "catalogue/VideoFile.h"

VideoFile::VideoFile(TNModelController &store)
    : SubsBase(store, false), m_filetype(VideoFileTypeUndetermined), m_modified(false)
{}

void VideoFile::setFiletype(std::optional<qint16> filetype)
{
    assign(m_filetype, filetype, Attribute::Filetype);
}

void VideoFile::setModified(std::optional<bool> modified)
{
    assign(m_modified, modified, Attribute::Modified);
}

QString VideoFile::lastPathComponent() const
{
    // Concatenated, never chained arg(): a name holding "%1" must show as written.
    switch (m_filetype.value_or(VideoFileTypeUndetermined)) {
    case VideoFileTypeTVShow:
        return QStringLiteral("TVShow: ") + displayText(name()) + QStringLiteral(" . ") +
               displayText(season()) + QLatin1Char('x') + displayText(episode()) +
               QStringLiteral(". Hash:") + displayText(fileHash());
    case VideoFileTypeMovie:
        return QStringLiteral("Movie: ") + displayText(name()) + QStringLiteral(". Year ") +
               displayText(year()) + QStringLiteral(". Hash") + displayText(fileHash());
    default:
        return displayText(name());
    }
}
