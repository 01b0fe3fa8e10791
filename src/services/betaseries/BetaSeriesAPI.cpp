#include "services/betaseries/BetaSeriesAPI.h"

#include "catalogue/ServiceKeys.h"
#include "platform/Logging.h"
#include "platform/PathUtilities.h"
#include "services/HashValue.h"
#include "services/ServiceRequest.h"
#include "services/TextValue.h"
#include "services/XMLReply.h"

namespace {

// The body of a 200 answer; nothing for any other outcome.
std::optional<QByteArray> load(const QUrl &url, const UrlLoader::CancelCheck &cancel,
                               bool *unreachable = nullptr)
{
    const UrlResponse response = ServiceRequest::get(url, cancel);
    if (unreachable)
        *unreachable = ServiceRequest::unreachable(response);
    if (!response.error.isNull() || response.status != 200)
        return std::nullopt;
    return response.body;
}

} // namespace

BetaSeriesAPI::BetaSeriesAPI(QString username, QString password, QUrl host)
    : m_username(std::move(username)), m_password(std::move(password)), m_host(std::move(host))
{}

int BetaSeriesAPI::login()
{
    if (m_username.isEmpty())
        return 0;
    const QUrl url =
        ServiceRequest::url(m_host, QStringLiteral("/members/auth.xml"),
                            {{QStringLiteral("key"), ApiKey},
                             {QStringLiteral("login"), m_username},
                             {QStringLiteral("password"),
                              HashValue::md5HashWithData(m_password.toUtf8()).description()}});
    const std::optional<QByteArray> reply = load(url, m_cancel);
    const std::optional<QString> token = reply ? tokenFromReply(*reply) : std::nullopt;
    if (!token)
        return 2;
    if (token->isEmpty())
        return 1;
    m_token = *token;
    return 0;
}

std::optional<QString> BetaSeriesAPI::tokenFromReply(const QByteArray &reply)
{
    const std::unique_ptr<pugi::xml_document> document = XMLReply::parse(reply, nullptr);
    if (!document)
        return std::nullopt;
    QString found = QStringLiteral("");
    for (const pugi::xpath_node token : document->select_nodes("/root/member/token")) {
        const QString text = XMLReply::stringValue(token.node());
        if (!text.isEmpty())
            found = text;
    }
    return found;
}

QString BetaSeriesAPI::searchFileName(const VideoFileSearchDictionary &file)
{
    QString name = PathUtilities::lastPathComponent(file.fileName);
    if (name.isEmpty())
        return {};
    const qint64 season = file.season.value_or(0);
    const qint64 episode = file.episode.value_or(0);
    if (season >= 1 && episode >= 1) {
        const QString tag = QStringLiteral("S%1E%2")
                                .arg(qulonglong(season), 2, 10, QChar(u'0'))
                                .arg(qulonglong(episode), 2, 10, QChar(u'0'));
        if (!name.contains(tag, Qt::CaseInsensitive))
            name += u' ' + tag;
    }
    return name;
}

RemoteSubtitles BetaSeriesAPI::searchSubtitleUsingWeb(const VideoFileSearchDictionary &file,
                                                      const QString &language,
                                                      bool *unreachable) const
{
    const QString fileName = searchFileName(file);
    if (fileName.isEmpty())
        return std::nullopt;
    QueryItems items{{QStringLiteral("key"), ApiKey}, {QStringLiteral("file"), fileName}};
    if (!language.isNull())
        items.append({QStringLiteral("language"), language});
    if (!m_token.isNull())
        items.append({QStringLiteral("token"), m_token});
    const std::optional<QByteArray> reply =
        load(ServiceRequest::url(m_host, QStringLiteral("/subtitles/show.xml"), items), m_cancel,
             unreachable);
    if (!reply)
        return QList<TNRemoteSubtitle>();
    return subtitlesFromReply(*reply, file);
}

RemoteSubtitles BetaSeriesAPI::subtitlesFromReply(const QByteArray &reply,
                                                  const VideoFileSearchDictionary &file)
{
    const std::unique_ptr<pugi::xml_document> document = XMLReply::parse(reply, nullptr);
    if (!document)
        return QList<TNRemoteSubtitle>();

    QList<TNRemoteSubtitle> subtitles;
    subtitles.reserve(10);
    try {
        for (const pugi::xpath_node found : document->select_nodes("/root/subtitles/subtitle")) {
            const pugi::xml_node record = found.node();
            const qint64 season = TextValue::intValue(XMLReply::requiredChild(record, "season"));
            const qint64 episode = TextValue::intValue(XMLReply::requiredChild(record, "episode"));
            if (episode == 0)
                continue;
            const QString archive = XMLReply::requiredChild(record, "file");
            const QString url = XMLReply::requiredChild(record, "url");
            const QString lang = XMLReply::requiredChild(record, "language")
                                             .compare(QLatin1String("VF"), Qt::CaseInsensitive) == 0
                                     ? QStringLiteral("fr")
                                     : QStringLiteral("en");
            QStringList entries;
            if (const pugi::xml_node content = record.child("content")) {
                for (pugi::xml_node item : content.children("item"))
                    entries.append(XMLReply::stringValue(item));
            } else {
                entries.append(archive);
            }
            for (const QString &entry : std::as_const(entries)) {
                TNRemoteSubtitle subtitle;
                subtitle.service = BetaSeriesServiceKey;
                subtitle.name = QStringLiteral("");
                subtitle.subtitleID = archive;
                subtitle.lang = lang;
                subtitle.downloadURL = url;
                subtitle.subFormat = QStringLiteral("");
                subtitle.subFileName = entry;
                subtitle.imdbID = QStringLiteral("");
                subtitle.releaseInfo = archive;
                subtitle.season = season;
                subtitle.episode = episode;
                subtitle.videoFileOID = file.objectID;
                subtitles.append(subtitle);
            }
        }
    } catch (const XMLReply::MissingElement &missing) {
        qCInfo(lcServices) << "BetaSeries record unusable:" << missing.what();
        return std::nullopt;
    }
    return subtitles;
}
