#include "catalogue/Subtitle.h"

#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"
#include "platform/PathUtilities.h"

#include <QStringList>

#include <algorithm>
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
const std::array<QStringView, 9> releaseKeywords = {
    u"720p", u"1080p", u"480p", u"r5", u"proper", u"repack", u"cd1", u"cd2", u"dvdrip",
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

// Splits lower-cased text at every separator; empty pieces between adjacent separators or
// at either end are tokens too. The pieces point into text.
QList<QStringView> tokens(QStringView text)
{
    QList<QStringView> pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isSeparator(text[i])) {
            pieces.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    pieces.append(text.sliced(start));
    return pieces;
}

// The distinct tokens of a video's base name, sorted. Candidates come video by video, so
// the last video's are kept.
const QStringList &videoTokens(const QString &baseName)
{
    thread_local QString lastBaseName;
    thread_local QStringList lastTokens;
    if (lastBaseName.isNull() || lastBaseName != baseName) {
        const QString text = baseName.toLower();
        lastTokens.clear();
        for (QStringView token : tokens(text))
            lastTokens.append(token.toString());
        lastTokens.sort();
        lastTokens.removeDuplicates();
        lastBaseName = baseName.isNull() ? QStringLiteral("") : baseName;
    }
    return lastTokens;
}

bool containsSorted(const QStringList &sorted, QStringView token)
{
    const auto found = std::lower_bound(sorted.cbegin(), sorted.cend(), token,
                                        [](const QString &a, QStringView b) { return a < b; });
    return found != sorted.cend() && *found == token;
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
    if (const VideoFile *video = parent())
        calculateRating(*video);
}

void Subtitle::calculateRating(const VideoFile &video)
{
    qint32 sum = 0;
    if (candidateMatches(fileHash(), video.fileHash()))
        sum += HashPoints;

    const QString ownBase = baseName(fileName());
    const QString videoBase = baseName(video.fileName());
    if (sameText(ownBase, videoBase))
        sum += BaseNamePoints;

    const QString ownText = ownBase.toLower();
    const QList<QStringView> ownTokens = tokens(ownText);
    const QStringList &theirTokens = videoTokens(videoBase);
    for (QStringView token : ownTokens) {
        if (containsSorted(theirTokens, token))
            sum += TokenPoints;
    }
    for (QStringView keyword : releaseKeywords) {
        if (ownTokens.contains(keyword) && containsSorted(theirTokens, keyword)) {
            sum += KeywordPoints;
            break;
        }
    }

    if (candidateMatches(name(), video.name()))
        sum += NamePoints;
    if (bothEqual(season(), video.season()))
        sum += SeasonPoints;
    if (bothEqual(episode(), video.episode()))
        sum += EpisodePoints;
    if (bothEqual(year(), video.year()))
        sum += YearPoints;

    setRatingValue(sum);
}

QString Subtitle::lastPathComponent() const
{
    // Concatenated, never chained arg(): a name holding "%1" must show as written.
    return displayText(name()) + QStringLiteral(" . [") + displayText(m_language) +
           QLatin1Char(']');
}
