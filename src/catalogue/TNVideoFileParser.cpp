#include "catalogue/TNVideoFileParser.h"

#include "catalogue/regex/RegexAdditions.h"
#include "platform/PathUtilities.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

namespace {

constexpr rx::RegexOptions MatchOptions = rx::RegexOption::CaseInsensitive;

// Every match with its groups; nothing when the pattern fails in any way.
QList<QStringList> allMatches(const QString &text, const QString &pattern)
{
    try {
        return rx::arrayOfCaptureComponentsMatchedByRegex(text, pattern, MatchOptions)
            .value_or(QList<QStringList>());
    } catch (const std::exception &) {
        return {};
    }
}

// The whole text read as a decimal number in the user's locale.
std::optional<double> readNumber(const QString &text)
{
    bool ok = false;
    const double value = QLocale().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// A season or episode number; one that does not fit in 32 bits is no number.
std::optional<qint32> readCount(const QString &text)
{
    const std::optional<double> value = readNumber(text);
    if (!value)
        return std::nullopt;
    const double whole = std::trunc(*value);
    if (whole < std::numeric_limits<qint32>::min() || whole > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(whole);
}

QStringList stringList(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list.append(item.toString());
    return list;
}

} // namespace

TNVideoFileParser::TNVideoFileParser(QStringList seasonExpressions, QStringList yearExpressions,
                                     QStringList folderExpressions, QStringList cleanExpressions,
                                     const QString & /*videoDatabase*/)
    : m_regexSeason(std::move(seasonExpressions)), m_regexYear(std::move(yearExpressions)),
      m_regexFolder(std::move(folderExpressions)), m_regexClean(std::move(cleanExpressions))
{
    for (const QString &pattern : std::as_const(m_regexClean)) {
        if (pattern.contains(QLatin1String("dvdrip"), Qt::CaseInsensitive))
            m_regexRelease.append(pattern);
    }
}

TNVideoFileParser TNVideoFileParser::withBundledExpressions(const QString &videoDatabase)
{
    QFile resource(QStringLiteral(":/Regexp.json"));
    QJsonObject lists;
    if (resource.open(QIODevice::ReadOnly))
        lists = QJsonDocument::fromJson(resource.readAll()).object();
    return TNVideoFileParser(stringList(lists.value(QLatin1String("SeasonEpisode"))),
                             stringList(lists.value(QLatin1String("Year"))),
                             stringList(lists.value(QLatin1String("SeasonFolder"))),
                             stringList(lists.value(QLatin1String("Clean"))), videoDatabase);
}

ParserResult TNVideoFileParser::parseFile(const QString &path) const
{
    const QString text =
        PathUtilities::deletingPathExtension(PathUtilities::lastPathComponent(path)) +
        QLatin1Char('.');
    const qsizetype notFound = text.size() + 1;

    ParserResult result;
    const std::optional<YearInfo> year = parseYear(text);
    const std::optional<SeasonEpisodeInfo> seasonEpisode = parseSeasonEpisode(text);
    const std::optional<ReleaseInfo> release = findReleaseInfo(text);

    if (year)
        result.year = year->yearInfo;
    // A season and episode that merely spell the year (10 x season + episode) are dropped.
    if (seasonEpisode &&
        !(year &&
          10 * qint64(seasonEpisode->fileSeason) + seasonEpisode->fileEpisode == year->yearInfo)) {
        result.season = seasonEpisode->fileSeason;
        result.episode = seasonEpisode->fileEpisode;
    }
    if (release)
        result.release = release->releaseInfo;

    // The title ends where the first of year, season/episode (kept or not) and tags begins.
    const qsizetype end = std::min({year ? year->yearRange : notFound,
                                    seasonEpisode ? seasonEpisode->fileRange : notFound,
                                    release ? release->releaseRange.value_or(notFound) : notFound});
    const QString title = end <= 0 || end >= text.size() ? text : text.left(end);
    result.name = cleanupName(title).trimmed();

    if (result.season)
        result.fileType = VideoFileTypeTVShow;
    else if (result.year)
        result.fileType = VideoFileTypeMovie;
    return result;
}

QString TNVideoFileParser::searchKeyword(const QString &parsedName, const QString &path)
{
    const QString name = parsedName.trimmed();
    if (!name.isEmpty())
        return name;
    QString fileName = PathUtilities::deletingPathExtension(PathUtilities::lastPathComponent(path));
    for (QChar &unit : fileName) {
        if (unit == QLatin1Char('.') || unit == QLatin1Char('_'))
            unit = QLatin1Char(' ');
    }
    return fileName.simplified();
}

std::optional<TNVideoFileParser::YearInfo> TNVideoFileParser::parseYear(const QString &text) const
{
    for (const QString &pattern : m_regexYear) {
        const QList<QStringList> matches = allMatches(text, pattern);
        if (matches.isEmpty())
            continue;
        for (const QString &component : matches.first()) {
            const std::optional<double> value = readNumber(component);
            if (value && *value >= 1900 && *value < 2050)
                return YearInfo{qint32(*value), text.indexOf(component)};
        }
    }
    return std::nullopt;
}

std::optional<TNVideoFileParser::SeasonEpisodeInfo>
TNVideoFileParser::parseSeasonEpisode(const QString &text) const
{
    for (const QString &pattern : m_regexSeason) {
        const QList<QStringList> matches = allMatches(text, pattern);
        if (matches.isEmpty() || matches.first().size() < 3)
            continue;
        const QStringList &first = matches.first();
        const std::optional<qint32> season = readCount(first.at(1));
        const std::optional<qint32> episode = readCount(first.at(2));
        if (season && episode)
            return SeasonEpisodeInfo{*season, *episode, text.indexOf(first.at(0))};
    }
    return std::nullopt;
}

std::optional<TNVideoFileParser::ReleaseInfo>
TNVideoFileParser::findReleaseInfo(const QString &text) const
{
    if (m_regexClean.isEmpty())
        return std::nullopt;
    ReleaseInfo info;
    for (const QString &pattern : m_regexRelease) {
        for (const QStringList &match : allMatches(text, pattern)) {
            info.releaseInfo += match.first() + QLatin1Char('.');
            if (!info.releaseRange)
                info.releaseRange = text.indexOf(match.first());
        }
    }
    return info;
}

QString TNVideoFileParser::cleanupName(const QString &text) const
{
    QString cleaned = text;
    for (const QString &pattern : m_regexClean) {
        try {
            // A failed replacement leaves the text as it was.
            rx::replaceOccurrencesOfRegex(cleaned, pattern, QStringLiteral(" "), MatchOptions);
        } catch (const std::exception &) {
        }
    }
    return cleaned;
}
