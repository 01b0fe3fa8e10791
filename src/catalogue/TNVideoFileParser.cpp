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

// A season joins an episode that has none when the episode fits in it: a number below 100,
// or one that starts with the season ("512" in season 5 is its episode 12). An absolute
// number of another season takes none.
void attachSeason(ParserResult &result, qint32 season)
{
    if (result.season || !result.episode)
        return;
    const qint32 episode = *result.episode;
    if (episode < 100) {
        result.season = season;
    } else if (season > 0 && episode / 100 == season && episode % 100 > 0) {
        result.season = season;
        result.episode = episode % 100;
    }
}

bool isDigit(QChar unit)
{
    return unit >= u'0' && unit <= u'9';
}

// Where the year ends a title: at the year itself, or at a year-like number before it that
// neither opens the name ("1984.1984", "2001.A.Space.Odyssey.1968") nor stands right before
// another ("Blade.Runner.2049.2017"): "Doctor.Who.2005.Christmas.Special.2023" is titled
// "Doctor Who". Numbers in dates are none.
qsizetype titleEndBeforeYear(const QString &text, qint32 year)
{
    QList<qsizetype> numbers;
    for (qsizetype at = 0; at + 4 <= text.size(); ++at) {
        if ((at > 0 && text.at(at - 1).isLetterOrNumber()) ||
            (at + 4 < text.size() && text.at(at + 4).isLetterOrNumber()))
            continue;
        const QStringView digits = QStringView(text).mid(at, 4);
        if (!std::all_of(digits.begin(), digits.end(), isDigit))
            continue;
        const int value = digits.toInt();
        if (value >= 1900 && value < 2050)
            numbers.append(at);
    }
    const auto isYear = [&](qsizetype at) { return QStringView(text).mid(at, 4).toInt() == year; };
    const auto last = std::find_if(numbers.crbegin(), numbers.crend(), isYear);
    if (last == numbers.crend())
        return text.indexOf(QString::number(year));
    const auto separators = [&](qsizetype from, qsizetype to) {
        for (qsizetype at = from; at < to; ++at) {
            if (text.at(at).isLetterOrNumber())
                return false;
        }
        return true;
    };
    const auto inDate = [&](qsizetype at) {
        const auto twoDigits = [&](qsizetype from) {
            return from >= 0 && from + 2 <= text.size() && isDigit(text.at(from)) &&
                   isDigit(text.at(from + 1));
        };
        return (twoDigits(at + 5) && twoDigits(at + 8)) || (twoDigits(at - 3) && twoDigits(at - 6));
    };
    for (auto number = numbers.cbegin(); *number < *last; ++number) {
        const qsizetype next = *std::next(number);
        if (*number > 0 && !inDate(*number) && !separators(*number + 4, next))
            return *number;
    }
    return *last;
}

// Where a number that opens a name, after any bracketed group, and its dash between
// separators ("[Group] 86 - ") end; 0 when the name opens otherwise.
qsizetype openingNumber(const QString &text)
{
    const auto separator = [&](qsizetype at) {
        return at < text.size() &&
               (text.at(at) == u' ' || text.at(at) == u'.' || text.at(at) == u'_');
    };
    qsizetype at = 0;
    while (at < text.size() && text.at(at) == u'[') {
        const qsizetype close = text.indexOf(u']', at);
        if (close < 0)
            return 0;
        at = close + 1;
        while (separator(at))
            ++at;
    }
    const qsizetype digits = at;
    while (at < text.size() && isDigit(text.at(at)))
        ++at;
    if (at == digits || at - digits > 4 || !separator(at))
        return 0;
    while (separator(at))
        ++at;
    if (at >= text.size() || text.at(at) != u'-' || !separator(at + 1))
        return 0;
    return at + 1;
}

bool isArticle(const QString &word)
{
    static const QStringList articles = {QStringLiteral("the"), QStringLiteral("a"),
                                         QStringLiteral("an")};
    return articles.contains(word, Qt::CaseInsensitive);
}

// The words of a title as written, its separators made single blanks.
QString plainWords(QString text)
{
    for (QChar &unit : text) {
        if (unit == u'.' || unit == u'_')
            unit = u' ';
    }
    return text.simplified();
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
    const auto numbering = seasonEpisodeFrom(text, 0);
    const std::optional<ReleaseInfo> release = findReleaseInfo(text);

    if (year)
        result.year = year->yearInfo;
    // A season and episode that merely spell the year (10 x season + episode) are dropped;
    // a season without an episode only ends the title.
    if (numbering) {
        const SeasonEpisodeInfo &found = numbering->info;
        reading.numberingAt = found.fileRange;
        if (found.fileEpisode &&
            !(found.fileSeason && year &&
              10 * qint64(*found.fileSeason) + *found.fileEpisode == year->yearInfo)) {
            result.season = found.fileSeason;
            result.episode = found.fileEpisode;
        } else if (!found.fileEpisode) {
            reading.markedSeason = found.fileSeason;
        }
        // An episode without a season takes one that the name writes apart from it
        // ("(Season 2) - 13", not "The Final Season - 16").
        if (result.episode && !result.season) {
            const qsizetype from = found.fileRange, to = from + numbering->length;
            for (auto marker = seasonEpisodeFrom(text, numbering->pattern + 1); marker;
                 marker = seasonEpisodeFrom(text, marker->pattern + 1)) {
                const SeasonEpisodeInfo &season = marker->info;
                if (season.fileSeason && !season.fileEpisode &&
                    (season.fileRange >= to || season.fileRange + marker->length <= from)) {
                    reading.markedSeason = season.fileSeason;
                    attachSeason(result, *season.fileSeason);
                    break;
                }
            }
        }
    }
    if (release)
        result.release = release->releaseInfo;

    // The title ends where the first of year, season/episode (kept or not) and tags begins.
    const qsizetype numberingAt = reading.numberingAt.value_or(notFound);
    const qsizetype yearAt = year ? titleEndBeforeYear(text, year->yearInfo) : notFound;
    const qsizetype end = std::min(
        {yearAt, numberingAt, release ? release->releaseRange.value_or(notFound) : notFound});
    if (end > 0 && end < text.size())
        result.name = titleOf(text.left(end), reading.numberingAt && numberingAt >= end
                                                  ? std::optional(result.episode.value_or(-1))
                                                  : std::nullopt);
    // With nothing before it, the title follows the numbering ("[Group] 01 - Title").
    if (result.name.isEmpty())
        result.name = cleanupName(text).trimmed();
    // A title is never a lone article: a tag-like word after it is the title's own
    // ("The.Remux.2019").
    if (isArticle(result.name)) {
        const QStringList words = plainWords(text.left(std::min(yearAt, numberingAt))).split(u' ');
        if (words.size() == 2 && words.first().compare(result.name, Qt::CaseInsensitive) == 0 &&
            std::all_of(words.last().cbegin(), words.last().cend(),
                        [](QChar unit) { return unit.isLetter(); }))
            result.name = words.join(u' ');
    }
    return reading;
}

QString TNVideoFileParser::titleOf(const QString &candidate,
                                   std::optional<qint32> laterEpisode) const
{
    // A number that opens a name numbered further on is part of the title ("86 - Eighty Six
    // - 23"), where alone it would be the episode ("04 - Family Guy"); a padded one, or the
    // later episode again, still numbers the episode ("03 - Show - S01E03").
    const qsizetype opening = laterEpisode ? openingNumber(candidate) : 0;
    QString number = candidate.left(opening);
    number.remove(0, number.lastIndexOf(u']') + 1);
    number.removeIf([](QChar unit) { return !isDigit(unit); });
    if (opening == 0 || number.startsWith(u'0') || number.toInt() == *laterEpisode)
        return cleanupName(candidate).trimmed();
    const QString rest = cleanupName(candidate.mid(opening)).trimmed();
    return rest.isEmpty() ? number : number + QLatin1String(" - ") + rest;
}

std::optional<TNVideoFileParser::Numbering>
TNVideoFileParser::seasonEpisodeFrom(const QString &text, qsizetype firstPattern) const
{
    for (qsizetype index = firstPattern; index < m_regexSeason.size(); ++index) {
        const QStringList first = firstMatch(text, m_regexSeason.at(index));
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
            return Numbering{
                {season, episode, text.indexOf(first.at(0))}, index, first.at(0).size()};
    }
    return std::nullopt;
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
        std::optional<NameReading> show;
        std::optional<qint32> season = reading.season;
        if (reading.kind == FolderReading::Show) {
            show = parseName(folder + QLatin1Char('.'));
            // A folder named for a season pack ("The.Wire.S01.720p") is a season folder too.
            season = show->markedSeason;
        }
        if (season) {
            // In a season folder a bare leading number ("07 The Suitcase") is the episode.
            if (nearest && !result.episode) {
                qsizetype digits = 0;
                while (digits < text.size() && digits < 4 && isDigit(text.at(digits)))
                    ++digits;
                if (digits > 0 && digits < 4) {
                    result.episode = readCount(text.left(digits));
                    titled = false;
                }
            }
            attachSeason(result, *season);
        }
        if (show) {
            if (titled)
                return;
            if (!show->result.name.isEmpty()) {
                result.name = show->result.name;
                if (!result.year)
                    result.year = show->result.year;
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
    return plainWords(PathUtilities::deletingPathExtension(PathUtilities::lastPathComponent(path)));
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
    const auto found = seasonEpisodeFrom(text, 0);
    if (!found)
        return std::nullopt;
    return found->info;
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
