#pragma once

#include "catalogue/SubsBase.h"

// Values of a candidate's status(); no other value is ever stored. Absent means not selected,
// like NotSelected. Every value from Selected upwards is still to be downloaded.
enum SubtitleStatus : qint32
{
    SubtitleStatusNotSelected = 0,
    SubtitleStatusLoginError = 1,
    SubtitleStatusDownloaded = 2,
    SubtitleStatusDailyLimit = 3,
    SubtitleStatusSelected = 4,
    SubtitleStatusWriteFailed = 5,
    SubtitleStatusDownloadFailed = 7,
};

// One subtitle candidate a service offered for a video. fileName is the file name the service
// reports (no folder).
class Subtitle final : public SubsBase
{
public:
    explicit Subtitle(TNModelController &store);

    const std::optional<QString> &downloadURL() const { return m_downloadURL; }
    void setDownloadURL(const std::optional<QString> &downloadURL);
    const std::optional<QString> &subtitleID() const { return m_subtitleID; }
    void setSubtitleID(const std::optional<QString> &subtitleID);
    // The language code; a null string when absent.
    QString language() const override { return m_language.value_or(QString()); }
    void setLanguage(const std::optional<QString> &language);
    const std::optional<QString> &service() const { return m_service; }
    void setService(const std::optional<QString> &service);
    qint32 ratingValue() const { return m_ratingValue; }
    void setRatingValue(qint32 ratingValue);

    // Attaches the candidate to video (or detaches it with null), moving it out of the child
    // list of the video it belonged to before.
    void setParent(VideoFile *video);

    // Scores the candidate against its video and stores the score; without a video the
    // rating is left alone.
    void calculateRating();
    // The same against video, to which it need not be attached yet: filled in and scored
    // first, it reaches the list whole.
    void calculateRating(const VideoFile &video);

    qint32 rating() const override { return m_ratingValue; }
    QString lastPathComponent() const override;

private:
    std::optional<QString> m_downloadURL;
    std::optional<QString> m_subtitleID;
    std::optional<QString> m_language;
    std::optional<QString> m_service;
    qint32 m_ratingValue = 0;
};
