#include "catalogue/TNVideoFileParser.h"

#include "catalogue/VideoExtensions.h"
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

// The first match with its groups; empty when there is none or the pattern fails.
QStringList firstMatch(const QString &text, const QString &pattern)
{
    try {
        return rx::captureComponentsMatchedByRegex(text, pattern, MatchOptions)
            .value_or(QStringList());
    } catch (const std::exception &) {
        return {};
    }
}

// The whole text read as a decimal number in the user's locale.
std::optional<double> readNumber(const QString &text)
{
    // Plain digits, the common case, read the same in every locale.
    if (!text.isEmpty() && text.size() <= 9 &&
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        double value = 0;
        for (const QChar c : text)
            value = value * 10 + (c.unicode() - u'0');
        return value;
    }
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

struct BundledExpressions
{
    QStringList season, year, folder, clean;
};

// Read once: every parser then holds the very same pattern texts, which the cache of
// compiled patterns finds by identity instead of hashing them on every match.
const BundledExpressions &bundledExpressions()
{
    static const BundledExpressions expressions = [] {
        QFile resource(QStringLiteral(":/Regexp.json"));
        QJsonObject lists;
        if (resource.open(QIODevice::ReadOnly))
            lists = QJsonDocument::fromJson(resource.readAll()).object();
        return BundledExpressions{stringList(lists.value(QLatin1String("SeasonEpisode"))),
                                  stringList(lists.value(QLatin1String("Year"))),
                                  stringList(lists.value(QLatin1String("SeasonFolder"))),
                                  stringList(lists.value(QLatin1String("Clean")))};
    }();
    return expressions;
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
    const BundledExpressions &bundled = bundledExpressions();
    return TNVideoFileParser(bundled.season, bundled.year, bundled.folder, bundled.clean,
                             videoDatabase);
}

ParserResult TNVideoFileParser::parseFile(const QString &path) const
{
    QString fileName = PathUtilities::lastPathComponent(path);
    QString folders = fileName == path ? QString() : PathUtilities::deletingLastPathComponent(path);
    // A slash between blanks belongs to a release title ("Film (HDRip / 2014)").
    qsizetype slash = path.lastIndexOf(u'/');
    if (slash > 0 && slash + 1 < path.size() && path.at(slash - 1) == u' ' &&
        path.at(slash + 1) == u' ') {
        while (slash > 0 && slash + 1 < path.size() && path.at(slash - 1) == u' ' &&
               path.at(slash + 1) == u' ')
            slash = path.lastIndexOf(u'/', slash - 1);
        fileName = path.mid(slash + 1);
        folders = slash < 0 ? QString() : path.left(std::max<qsizetype>(slash, 1));
    }
    // Release names often come without an extension, and their last word is then no
    // extension to drop ("Show.S01E03", "Film.2014").
    const QString extension = PathUtilities::pathExtension(fileName).toLower();
    const bool hasExtension = VideoExtensions::getVideoExtensions().contains(extension) ||
                              VideoExtensions::getSubtitleExtensions().contains(extension);
    const QString text =
        (hasExtension ? PathUtilities::deletingPathExtension(fileName) : fileName) +
        QLatin1Char('.');
    NameReading file = parseName(text);
    if (!folders.isEmpty())
        completeFromFolders(folders, text, file);

    ParserResult &result = file.result;
    if (result.season && result.episode)
        result.fileType = VideoFileTypeTVShow;
    else if (result.year)
        result.fileType = VideoFileTypeMovie;
    return result;
}

TNVideoFileParser::NameReading TNVideoFileParser::parseName(const QString &text) const
{
    const qsizetype notFound = text.size() + 1;

    NameReading reading;
    ParserResult &result = reading.result;
    const std::optional<YearInfo> year = parseYear(text);
    const std::optional<SeasonEpisodeInfo> seasonEpisode = parseSeasonEpisode(text);
    const std::optional<ReleaseInfo> release = findReleaseInfo(text);

    if (year)
        result.year = year->yearInfo;
    // A season and episode that merely spell the year (10 x season + episode) are dropped;
    // a season without an episode only ends the title.
    if (seasonEpisode) {
        reading.numberingAt = seasonEpisode->fileRange;
        const std::optional<qint32> season = seasonEpisode->fileSeason;
        const std::optional<qint32> episode = seasonEpisode->fileEpisode;
        if (episode && !(season && year && 10 * qint64(*season) + *episode == year->yearInfo)) {
            result.season = season;
            result.episode = episode;
        }
    }
    if (release)
        result.release = release->releaseInfo;

    // The title ends where the first of year, season/episode (kept or not) and tags begins.
    const qsizetype end = std::min({year ? year->yearRange : notFound,
                                    seasonEpisode ? seasonEpisode->fileRange : notFound,
                                    release ? release->releaseRange.value_or(notFound) : notFound});
    if (end > 0 && end < text.size())
        result.name = cleanupName(text.left(end)).trimmed();
    // With nothing before it, the title follows the numbering ("[Group] 01 - Title").
    if (result.name.isEmpty())
        result.name = cleanupName(text).trimmed();
    return reading;
}

TNVideoFileParser::FolderReading TNVideoFileParser::readFolder(const QString &folder) const
{
    for (const QString &pattern : m_regexFolder) {
        const QStringList first = firstMatch(folder, pattern);
        if (first.isEmpty())
            continue;
        const QString group = first.size() > 1 ? first.at(1) : QString();
        if (group.isEmpty())
            return {FolderReading::InsideShow, std::nullopt};
        const std::optional<qint32> season = readCount(group);
        return {season ? FolderReading::Season : FolderReading::Collection, season};
    }
    return {};
}

void TNVideoFileParser::completeFromFolders(QString folders, const QString &text,
                                            NameReading &file) const
{
    ParserResult &result = file.result;
    bool titled =
        !result.name.isEmpty() &&
        !(file.numberingAt && cleanupName(text.left(*file.numberingAt)).trimmed().isEmpty());
    bool nearest = true;
    // Show, season and disc folders lie close above the file.
    for (int level = 0; level < 4 && (!titled || !result.season); ++level) {
        const QString folder = PathUtilities::lastPathComponent(folders);
        if (folder.isEmpty() || folder == QLatin1String("/"))
            return;
        const FolderReading reading = readFolder(folder);
        if (reading.kind == FolderReading::Collection)
            return;
        if (reading.kind != FolderReading::Show) {
            // In a season folder a bare leading number ("07 The Suitcase") is the episode.
            if (nearest && reading.season && !result.episode) {
                qsizetype digits = 0;
                while (digits < text.size() && digits < 4 && text.at(digits) >= u'0' &&
                       text.at(digits) <= u'9')
                    ++digits;
                if (digits > 0 && digits < 4) {
                    result.episode = readCount(text.left(digits));
                    titled = false;
                }
            }
            if (!result.season && result.episode)
                result.season = reading.season;
        } else {
            if (titled)
                return;
            const NameReading show = parseName(folder + QLatin1Char('.'));
            if (!show.result.name.isEmpty()) {
                result.name = show.result.name;
                if (!result.year)
                    result.year = show.result.year;
                return;
            }
        }
        nearest = false;
        const QString parent = PathUtilities::deletingLastPathComponent(folders);
        if (parent == folders)
            return;
        folders = parent;
    }
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
        for (const QString &component : firstMatch(text, pattern)) {
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
        const QStringList first = firstMatch(text, pattern);
        if (first.size() < 3)
            continue;
        const QString &seasonText = first.at(1);
        const QString &episodeText = first.at(2);
        const std::optional<qint32> season =
            seasonText.isEmpty() ? std::nullopt : readCount(seasonText);
        const std::optional<qint32> episode =
            episodeText.isEmpty() ? std::nullopt : readCount(episodeText);
        if ((season || seasonText.isEmpty()) && (episode || episodeText.isEmpty()) &&
            (season || episode))
            return SeasonEpisodeInfo{season, episode, text.indexOf(first.at(0))};
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
