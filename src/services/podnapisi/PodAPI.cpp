#include "services/podnapisi/PodAPI.h"

#include "catalogue/ServiceKeys.h"
#include "http/HTTPMessage.h"
#include "platform/Logging.h"
#include "platform/PathUtilities.h"
#include "services/HashValue.h"
#include "services/ServiceRequest.h"
#include "services/XMLReply.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// The text of the first child node of every <releases>; the last one wins.
QString releaseName(pugi::xml_node record, QString release)
{
    for (pugi::xml_node releases : record.children("releases")) {
        if (const pugi::xml_node first = releases.first_child())
            release = XMLReply::stringValue(first);
    }
    return release;
}

QString fallbackFileName(const QString &videoPath)
{
    const QString name = PathUtilities::lastPathComponent(videoPath);
    if (name.isEmpty())
        return QStringLiteral("uknsub.srt");
    return PathUtilities::appendingPathExtension(PathUtilities::deletingPathExtension(name),
                                                 QStringLiteral("srt"));
}

// The service's public ids are short words of letters, digits, "-" and "_", such as "WMgp":
// anything else could steer the download path.
bool isPublicId(const QString &pid)
{
    constexpr qsizetype LongestPublicId = 16;
    return !pid.isEmpty() && pid.size() <= LongestPublicId &&
           std::all_of(pid.cbegin(), pid.cend(), [](QChar c) {
               return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                      (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
           });
}

RemoteSubtitles searchFailed(const char *operation, int line, const QString &problem)
{
    qCWarning(lcServices).noquote()
        << QStringLiteral("%1 [Line %2] Trovanel: Error searching poderror: %3")
               .arg(QLatin1String(operation))
               .arg(line)
               .arg(problem);
    return QList<TNRemoteSubtitle>();
}

} // namespace

PodAPI::PodAPI(QString username, QString password, QString beginParse, QString endParse, QUrl site)
    : m_username(std::move(username)), m_password(std::move(password)),
      m_beginParse(std::move(beginParse)), m_endParse(std::move(endParse)), m_site(std::move(site))
{}

int PodAPI::login() const
{
    if (m_username.isEmpty() && m_password.isEmpty())
        return 0;
    const QString nonce = login_initiate();
    if (nonce.isEmpty())
        return 1;
    if (nonce.compare(QLatin1String("POD_CONN_ERROR"), Qt::CaseInsensitive) == 0)
        return 2;
    const QString hash = hashPassword(nonce);
    if (hash.isEmpty())
        return 1;
    return login_authenticate(hash);
}

QString PodAPI::login_initiate() const
{
    return QStringLiteral("trovanel");
}

int PodAPI::login_authenticate(const QString &hash) const
{
    Q_UNUSED(hash);
    return 0;
}

QString PodAPI::hashPassword(const QString &nonce) const
{
    const QString md5 = HashValue::md5HashWithData(m_password.toUtf8()).description();
    return HashValue::sha256HashWithData((md5 + nonce).toUtf8()).description();
}

QUrl PodAPI::searchURL(const VideoFileSearchDictionary &file, const QString &language) const
{
    // A video without a parsed name is searched by its file name.
    const QString name =
        file.name.isNull()
            ? PathUtilities::deletingPathExtension(PathUtilities::lastPathComponent(file.fileName))
            : file.name;
    QueryItems items{{QStringLiteral("sK"), name}, {QStringLiteral("sJ"), language}};
    if (file.hasSeasonAndEpisode()) {
        items.append({QStringLiteral("sTS"), QString::number(qint32(*file.season))});
        items.append({QStringLiteral("sTE"), QString::number(qint32(*file.episode))});
        items.append({QStringLiteral("sT"), QStringLiteral("1")});
    } else {
        if (file.year)
            items.append({QStringLiteral("sY"), QString::number(qint32(*file.year))});
        items.append({QStringLiteral("sT"), QStringLiteral("0")});
    }
    items.append({QStringLiteral("sXML"), QStringLiteral("1")});
    return ServiceRequest::url(m_site, QStringLiteral("/en/ppodnapisi/search"), items);
}

RemoteSubtitles PodAPI::searchSubtitleUsingWeb(const VideoFileSearchDictionary &file,
                                               const QString &language, bool *unreachable) const
{
    const UrlResponse response = ServiceRequest::get(searchURL(file, language), m_cancel);
    if (unreachable)
        *unreachable = ServiceRequest::unreachable(response);
    if (!response.error.isNull())
        return searchFailed(Q_FUNC_INFO, __LINE__, response.error.localizedDescription());
    if (response.status != 200)
        return searchFailed(Q_FUNC_INFO, __LINE__,
                            QStringLiteral("HTTP status %1").arg(response.status));
    return subtitlesFromReply(response.body, file, language);
}

RemoteSubtitles PodAPI::subtitlesFromReply(const QByteArray &reply,
                                           const VideoFileSearchDictionary &file,
                                           const QString &language) const
{
    QString problem;
    const std::unique_ptr<pugi::xml_document> document = XMLReply::parse(reply, &problem);
    if (!document)
        return searchFailed(Q_FUNC_INFO, __LINE__, problem);

    QList<TNRemoteSubtitle> subtitles;
    subtitles.reserve(10);
    try {
        for (const pugi::xpath_node found : document->select_nodes("/results/subtitle")) {
            const pugi::xml_node record = found.node();
            const QString url = XMLReply::requiredChild(record, "url");
            const QString pid = XMLReply::optionalChild(record, "pid");
            const QString release = releaseName(record, XMLReply::requiredChild(record, "release"));
            const QString id = XMLReply::requiredChild(record, "id");

            QUrl download;
            if (!pid.isEmpty()) {
                if (!isPublicId(pid)) {
                    qCInfo(lcServices) << "Podnapisi record skipped, not a public id:" << id;
                    continue;
                }
                download = m_site;
                download.setPath(QStringLiteral("/subtitles/%1/download")
                                     .arg(QString::fromLatin1(QUrl::toPercentEncoding(pid))),
                                 QUrl::StrictMode);
                download.setQuery(QString());
            } else {
                download = QUrl(url);
                // Kept encoded, so that an escaped "/" or "?" in the page's path stays one.
                const QString path = download.path(QUrl::FullyEncoded);
                download.setPath(path + (path.endsWith(u'/') ? "" : "/") + "download",
                                 QUrl::StrictMode);
            }
            // A page address nothing can be fetched from would only fail at download time.
            if (!HTTPMessage::isRequestable(download)) {
                qCInfo(lcServices) << "Podnapisi record skipped, no download address:" << id;
                continue;
            }
            TNRemoteSubtitle subtitle;
            subtitle.service = PodnapisiServiceKey;
            subtitle.name = release;
            subtitle.subtitleID = id;
            subtitle.lang = language;
            subtitle.downloadURL = download.toString(QUrl::FullyEncoded);
            subtitle.subFormat = QStringLiteral("");
            subtitle.subFileName = release.isEmpty() ? fallbackFileName(file.fileName) : release;
            subtitle.imdbID = QStringLiteral("");
            subtitle.releaseInfo = release;
            subtitle.season = file.season;
            subtitle.episode = file.episode;
            subtitle.videoFileOID = file.objectID;
            subtitles.append(subtitle);
        }
    } catch (const XMLReply::MissingElement &missing) {
        qCInfo(lcServices) << "Podnapisi record unusable:" << missing.what();
        return std::nullopt;
    }
    return subtitles;
}

QString PodAPI::pageText(const QUrl &page) const
{
    const UrlResponse response = ServiceRequest::get(page, m_cancel);
    if (!response.isSuccess()) {
        qCInfo(lcServices).noquote()
            << "Podnapisi page not loaded:" << page.toString(QUrl::RemoveUserInfo)
            << (response.error.isNull() ? QStringLiteral("HTTP status %1").arg(response.status)
                                        : response.error.localizedDescription());
        return QString();
    }
    return QString::fromLatin1(response.body);
}

QString PodAPI::urlForPage(const QUrl &page, const QString &before, const QString &after) const
{
    if (before.isEmpty() || after.isEmpty())
        return QString();
    const QString text = pageText(page);
    const qsizetype begin = text.indexOf(before);
    if (begin < 0)
        return QString();
    const qsizetype start = begin + before.size();
    const qsizetype end = QStringView(text).first(text.size() - 1).indexOf(after, start);
    if (end < 0)
        return QString();
    return text.mid(start, end - start);
}

QString PodAPI::downloadURLForPage(const QUrl &page) const
{
    return urlForPage(page, m_beginParse, m_endParse);
}

QString PodAPI::urlForpage(const QUrl &page, const QString &searchString) const
{
    static const QString Href = QStringLiteral("href=");
    static const QString Close = QStringLiteral("\">");
    if (searchString.isEmpty())
        return QString();
    const QString text = pageText(page);
    const qsizetype found = text.indexOf(searchString);
    if (found < 0)
        return QString();
    const qsizetype href = QStringView(text).first(found).lastIndexOf(Href);
    const qsizetype close = text.indexOf(Close, found);
    // Past "href=" and its opening quote.
    const qsizetype start = href + Href.size() + 1;
    if (href < 0 || close < start)
        return QString();
    return text.mid(start, close - start);
}

QString PodAPI::nameFromRelease(const QString &release, const QString &videoFile)
{
    static const QRegularExpression Blanks(QStringLiteral("\\s+"));
    const QStringList words = release.split(Blanks, Qt::SkipEmptyParts);
    const QString name =
        PathUtilities::deletingPathExtension(PathUtilities::lastPathComponent(videoFile));
    for (const QString &word : words) {
        if (word.compare(name, Qt::CaseInsensitive) == 0)
            return word;
    }
    return words.value(0);
}
