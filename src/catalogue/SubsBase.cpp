#include "catalogue/SubsBase.h"

#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"

SubsBase::SubsBase(TNModelController &store, bool isLeaf)
    : m_store(store), m_objectID(ObjectId::next()), m_isLeaf(isLeaf)
{}

SubsBase::~SubsBase() = default;

void SubsBase::setName(const std::optional<QString> &name)
{
    assign(m_name, name, Attribute::Name);
}

void SubsBase::setFileName(const std::optional<QString> &fileName)
{
    if (m_fileName == fileName)
        return;
    const std::optional<QString> previous = std::exchange(m_fileName, fileName);
    m_store.fileNameChanged(this, previous);
    attributeChanged(Attribute::FileName);
}

void SubsBase::setFileHash(const std::optional<QString> &fileHash)
{
    assign(m_fileHash, fileHash, Attribute::FileHash);
}

void SubsBase::setReleaseInfo(const std::optional<QString> &releaseInfo)
{
    assign(m_releaseInfo, releaseInfo, Attribute::ReleaseInfo);
}

void SubsBase::setSeason(std::optional<qint32> season)
{
    assign(m_season, season, Attribute::Season);
}

void SubsBase::setEpisode(std::optional<qint32> episode)
{
    assign(m_episode, episode, Attribute::Episode);
}

void SubsBase::setYear(std::optional<qint32> year)
{
    assign(m_year, year, Attribute::Year);
}

void SubsBase::setStatus(std::optional<qint32> status)
{
    Q_ASSERT(!status || *status == SubtitleStatusNotSelected ||
             *status == SubtitleStatusLoginError || *status == SubtitleStatusDownloaded ||
             *status == SubtitleStatusDailyLimit || *status == SubtitleStatusSelected ||
             *status == SubtitleStatusWriteFailed || *status == SubtitleStatusDownloadFailed);
    assign(m_status, status, Attribute::Status);
}

void SubsBase::setFileSize(std::optional<qint64> fileSize)
{
    assign(m_fileSize, fileSize, Attribute::FileSize);
}

void SubsBase::attributeChanged(Attribute attribute)
{
    m_store.attributeChanged(this, attribute);
}

QString SubsBase::displayText(const std::optional<QString> &value)
{
    return value.value_or(QStringLiteral(""));
}

QString SubsBase::displayText(std::optional<qint32> value)
{
    return value ? QString::number(*value) : QStringLiteral("");
}
