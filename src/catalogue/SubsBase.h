#pragma once

#include "catalogue/ObjectId.h"

#include <QList>
#include <QString>

#include <optional>

class Subtitle;
class TNModelController;
class VideoFile;

// What videos and subtitle candidates share. Objects exist only inside a TNModelController,
// which creates, owns and deletes them; they are read and changed on the main thread only.
// Every attribute may be absent, which is never the same as 0 or "".
class SubsBase
{
public:
    // Names the attribute that a change signal reports.
    enum class Attribute
    {
        Name,
        FileName,
        FileHash,
        ReleaseInfo,
        Season,
        Episode,
        Year,
        Status,
        FileSize,
        DownloadURL,
        SubtitleID,
        Language,
        Service,
        Rating,
        Filetype,
        Modified,
    };

    SubsBase(const SubsBase &) = delete;
    SubsBase &operator=(const SubsBase &) = delete;
    virtual ~SubsBase();

    ObjectId objectID() const { return m_objectID; }

    const std::optional<QString> &name() const { return m_name; }
    void setName(const std::optional<QString> &name);
    const std::optional<QString> &fileName() const { return m_fileName; }
    void setFileName(const std::optional<QString> &fileName);
    const std::optional<QString> &fileHash() const { return m_fileHash; }
    void setFileHash(const std::optional<QString> &fileHash);
    const std::optional<QString> &releaseInfo() const { return m_releaseInfo; }
    void setReleaseInfo(const std::optional<QString> &releaseInfo);
    std::optional<qint32> season() const { return m_season; }
    void setSeason(std::optional<qint32> season);
    std::optional<qint32> episode() const { return m_episode; }
    void setEpisode(std::optional<qint32> episode);
    std::optional<qint32> year() const { return m_year; }
    void setYear(std::optional<qint32> year);
    std::optional<qint32> status() const { return m_status; }
    void setStatus(std::optional<qint32> status);
    std::optional<qint64> fileSize() const { return m_fileSize; }
    void setFileSize(std::optional<qint64> fileSize);
    std::optional<bool> isLeaf() const { return m_isLeaf; }

    // The video a candidate belongs to; always null for a video.
    VideoFile *parent() const { return m_parent; }
    // A video's candidates in the order they were attached; always empty for a candidate.
    const QList<Subtitle *> &subtitles() const { return m_subtitles; }

    // The values the results list shows and sorts by.
    virtual qint32 rating() const = 0;
    virtual QString language() const = 0;
    virtual QString lastPathComponent() const = 0;

protected:
    SubsBase(TNModelController &store, bool isLeaf);

    // Stores value and tells the store, when it differs from what is held.
    template <typename T>
    void assign(std::optional<T> &field, const std::optional<T> &value, Attribute attribute)
    {
        if (field == value)
            return;
        field = value;
        attributeChanged(attribute);
    }
    template <typename T> void assign(T &field, const T &value, Attribute attribute)
    {
        if (field == value)
            return;
        field = value;
        attributeChanged(attribute);
    }

    void attributeChanged(Attribute attribute);
    TNModelController &store() const { return m_store; }

    // Display text of a value: absent shows as "", numbers in decimal.
    static QString displayText(const std::optional<QString> &value);
    static QString displayText(std::optional<qint32> value);

private:
    friend class TNModelController;

    TNModelController &m_store;
    const ObjectId m_objectID;
    std::optional<QString> m_name;
    std::optional<QString> m_fileName;
    std::optional<QString> m_fileHash;
    std::optional<QString> m_releaseInfo;
    std::optional<qint32> m_season;
    std::optional<qint32> m_episode;
    std::optional<qint32> m_year;
    std::optional<qint32> m_status;
    std::optional<qint64> m_fileSize;
    std::optional<bool> m_isLeaf;
    VideoFile *m_parent = nullptr;
    QList<Subtitle *> m_subtitles;
};
