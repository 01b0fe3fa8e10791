#include "catalogue/Subtitle.h"

#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"
#include "platform/PathUtilities.h"

#include <QSet>
#include <QStringList>

#include <array>

namespace {

enum Points : qint32
{
    HashPoints = 120,
    BaseNamePoints = 90,
    TokenPoints = 2,
    KeywordPoints = 7,
    NamePoints = 10,
    SeasonPoints = 4,
    EpisodePoints = 4,
    YearPoints = 1,
};

// Lower case, as the tokens are compared.
const std::array<QLatin1StringView, 9> releaseKeywords = {
    QLatin1StringView("720p"), QLatin1StringView("1080p"),  QLatin1StringView("480p"),
    QLatin1StringView("r5"),   QLatin1StringView("proper"), QLatin1StringView("repack"),
    QLatin1StringView("cd1"),  QLatin1StringView("cd2"),    QLatin1StringView("dvdrip"),
};

bool isSeparator(QChar c)
{
    return QStringView(u"-._()[] ;").contains(c);
}

QString baseName(const std::optional<QString> &fileName)
{
    return PathUtilities::deletingPathExtension(
        PathUtilities::lastPathComponent(fileName.value_or(QString())));
}

// Empty pieces between adjacent separators or at either end are tokens too.
QStringList tokens(const QString &baseName)
{
    const QString text = baseName.toLower();
    QStringList pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isSeparator(text.at(i))) {
            pieces.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    pieces.append(text.mid(start));
    return pieces;
}

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A candidate without the value matches whatever the video has.
bool candidateMatches(const std::optional<QString> &candidate, const std::optional<QString> &video)
{
    return !candidate || (video && sameText(*candidate, *video));
}

bool bothEqual(std::optional<qint32> a, std::optional<qint32> b)
{
    return a && b && *a == *b;
}

} // namespace

Subtitle::Subtitle(TNModelController &store) : SubsBase(store, true) {}

void Subtitle::setDownloadURL(const std::optional<QString> &downloadURL)
{
    assign(m_downloadURL, downloadURL, Attribute::DownloadURL);
}

void Subtitle::setSubtitleID(const std::optional<QString> &subtitleID)
{
    assign(m_subtitleID, subtitleID, Attribute::SubtitleID);
}

void Subtitle::setLanguage(const std::optional<QString> &language)
{
    assign(m_language, language, Attribute::Language);
}

void Subtitle::setService(const std::optional<QString> &service)
{
    assign(m_service, service, Attribute::Service);
}

void Subtitle::setRatingValue(qint32 ratingValue)
{
    assign(m_ratingValue, ratingValue, Attribute::Rating);
}

void Subtitle::setParent(VideoFile *video)
{
    store().moveSubtitle(this, video);
}

void Subtitle::calculateRating()
{
    const VideoFile *video = parent();
    if (!video)
        return;

    qint32 sum = 0;
    if (candidateMatches(fileHash(), video->fileHash()))
        sum += HashPoints;

    const QString ownBase = baseName(fileName());
    const QString videoBase = baseName(video->fileName());
    if (sameText(ownBase, videoBase))
        sum += BaseNamePoints;

    const QStringList ownTokens = tokens(ownBase);
    const QStringList videoTokenList = tokens(videoBase);
    const QSet<QString> videoTokens(videoTokenList.cbegin(), videoTokenList.cend());
    for (const QString &token : ownTokens) {
        if (videoTokens.contains(token))
            sum += TokenPoints;
    }
    for (QLatin1StringView keyword : releaseKeywords) {
        if (ownTokens.contains(keyword) && videoTokens.contains(QString(keyword))) {
            sum += KeywordPoints;
            break;
        }
    }

    if (candidateMatches(name(), video->name()))
        sum += NamePoints;
    if (bothEqual(season(), video->season()))
        sum += SeasonPoints;
    if (bothEqual(episode(), video->episode()))
        sum += EpisodePoints;
    if (bothEqual(year(), video->year()))
        sum += YearPoints;

    setRatingValue(sum);
}

QString Subtitle::lastPathComponent() const
{
    // Concatenated, never chained arg(): a name holding "%1" must show as written.
    return displayText(name()) + QStringLiteral(" . [") + displayText(m_language) +
           QLatin1Char(']');
}
