#include "services/opensubtitles/OSApi.h"

#include "catalogue/ServiceKeys.h"
#include "platform/Exception.h"
#include "platform/Logging.h"
#include "platform/XMLCharacters.h"
#include "services/ServiceRequest.h"
#include "services/TextValue.h"
#include "services/opensubtitles/XMLRPCHelper.h"

#include <QMutex>

#include <zlib.h>

namespace {

QMutex sessionMutex;
QString sharedToken;

QString sessionToken()
{
    QMutexLocker lock(&sessionMutex);
    return sharedToken;
}

void setSessionToken(const QString &token)
{
    QMutexLocker lock(&sessionMutex);
    sharedToken = token;
}

const QString Status = QStringLiteral("status");
const QString Token = QStringLiteral("token");
const QString Data = QStringLiteral("data");
const QString SubLanguageId = QStringLiteral("sublanguageid");

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

QString textOf(const QVariantMap &map, const QString &key)
{
    const auto it = map.constFind(key);
    if (it == map.cend() || !it->isValid())
        return {};
    const QString text = it->toString();
    return text.isNull() ? QStringLiteral("") : text;
}

TNRemoteSubtitle subtitleFromReply(const QVariantMap &entry)
{
    TNRemoteSubtitle subtitle;
    subtitle.service = OpenSubtitlesServiceKey;
    subtitle.name = textOf(entry, QStringLiteral("MovieName"));
    subtitle.subtitleID = textOf(entry, QStringLiteral("IDSubtitleFile"));
    subtitle.lang = textOf(entry, QStringLiteral("SubLanguageID"));
    subtitle.downloadURL = textOf(entry, QStringLiteral("ZipDownloadLink"));
    subtitle.subHash = textOf(entry, QStringLiteral("MovieHash"));
    subtitle.subFormat = textOf(entry, QStringLiteral("SubFormat"));
    subtitle.subFileName = textOf(entry, QStringLiteral("SubFileName"));
    subtitle.imdbID = textOf(entry, QStringLiteral("IDMovieImdb"));
    const QString year = textOf(entry, QStringLiteral("MovieYear"));
    if (!year.isNull())
        subtitle.year = TextValue::intValue(year);
    subtitle.releaseInfo = textOf(entry, QStringLiteral("MovieReleaseName"));
    return subtitle;
}

QString nameQuery(const VideoFileSearchDictionary &file)
{
    if (file.hasSeasonAndEpisode())
        return file.name + QStringLiteral(" S%1E%2")
                               .arg(qulonglong(*file.season), 2, 10, QChar(u'0'))
                               .arg(qulonglong(*file.episode), 2, 10, QChar(u'0'));
    if (file.year)
        return file.name + u' ' + QString::number(qulonglong(*file.year));
    return file.name;
}

} // namespace

OSApi::OSApi(QString username, QString password, QUrl endpoint)
    : m_username(std::move(username)), m_password(std::move(password)),
      m_endpoint(std::move(endpoint))
{}

std::optional<QVariantMap> OSApi::call(const QString &method, const QVariantList &params,
                                       Error *error)
{
    Error failure;
    std::optional<QVariantMap> reply =
        XMLRPCHelper::sendSyncRequest(m_endpoint, method, params, &failure, m_cancel);
    // A call refused before sending says nothing of the service.
    if (failure.domain() != XMLRPCHelper::TransportErrorDomain ||
        failure.code() != XMLRPCHelper::Unsendable)
        m_failures.record(ServiceRequest::unreachable(failure));
    if (error && !failure.isNull())
        *error = failure;
    return reply;
}

std::optional<QVariantMap> OSApi::sessionCall(const QString &method, const QVariantList &params,
                                              Error *error)
{
    std::optional<QVariantMap> reply = call(method, QVariantList{m_token} + params, error);
    if (!reply || !reply->value(Status).toString().startsWith(QLatin1String("406")))
        return reply;
    qCInfo(lcServices) << "OpenSubtitles no longer knows the session; logging in again";
    setSessionToken(QString());
    m_token.clear();
    if (login() != 0)
        return reply;
    return call(method, QVariantList{m_token} + params, error);
}

void OSApi::forgetSession()
{
    setSessionToken(QString());
}

int OSApi::login()
{
    const QString cached = sessionToken();
    if (!cached.isEmpty()) {
        m_token = cached;
        return 0;
    }
    // Altered on the way, the account would be refused and the user blamed for it.
    m_accountProblem.clear();
    for (const auto &[field, value] : {std::pair{QStringLiteral("user name"), &m_username},
                                       std::pair{QStringLiteral("password"), &m_password}}) {
        const QString forbidden = XMLCharacters::forbidden(*value);
        if (forbidden.isEmpty())
            continue;
        m_accountProblem = QStringLiteral("The %1 of the OpenSubtitles account holds %2, which "
                                          "the service cannot receive as typed; it was not sent.")
                               .arg(field, forbidden);
        qCWarning(lcServices).noquote() << m_accountProblem;
        return LoginAccountNotSent;
    }
    Error error;
    const std::optional<QVariantMap> reply =
        call(QStringLiteral("LogIn"),
             {m_username.isNull() ? QStringLiteral("") : m_username,
              m_password.isNull() ? QStringLiteral("") : m_password, QStringLiteral("en"),
              QStringLiteral("qalmir v1")},
             &error);
    if (!error.isNull()) {
        setSessionToken(QString());
        return 2;
    }
    if (!reply)
        return 2;
    m_token = textOf(*reply, Token);
    if (!reply->contains(Status))
        return 2;
    // A refusal often comes without a token: it is still a refusal.
    if (!reply->value(Status).toString().contains(QLatin1String("200 OK")))
        return 1;
    if (m_token.isEmpty())
        return 2;
    setSessionToken(m_token);
    return 0;
}

bool OSApi::logout()
{
    if (m_token.isEmpty())
        return false;
    const bool answered = call(QStringLiteral("LogOut"), {m_token}).has_value();
    m_token = QStringLiteral("");
    setSessionToken(QString());
    return answered;
}

RemoteSubtitles OSApi::searchSubtitlesByHash(const VideoFileSearchList &files,
                                             const QStringList &languages)
{
    return search(files, languages, [](const VideoFileSearchDictionary &file) -> QueryChoice {
        if (file.fileHash.isNull() || !file.fileSize)
            return QueryChoice::skip();
        // The service takes the size as text, which no 32-bit integer limits.
        return XMLRPC::OrderedStruct{
            {QStringLiteral("moviehash"), file.fileHash},
            {QStringLiteral("moviebytesize"), QString::number(*file.fileSize)}};
    });
}

RemoteSubtitles OSApi::searchSubtitlesByIMDB(const VideoFileSearchList &files,
                                             const QStringList &languages)
{
    return search(files, languages, [](const VideoFileSearchDictionary &file) -> QueryChoice {
        if (file.imdbB.isNull())
            return QueryChoice::skip();
        // The service takes the number as an integer; text that is none asks for nothing.
        bool valid = false;
        const int imdb = file.imdbB.toInt(&valid);
        if (!valid || imdb <= 0) {
            qCInfo(lcServices) << "Not an IMDB number:" << file.imdbB;
            return QueryChoice::skip();
        }
        return XMLRPC::OrderedStruct{{QStringLiteral("imdbid"), imdb}};
    });
}

RemoteSubtitles OSApi::searchSubtitlesByName(const VideoFileSearchList &files,
                                             const QStringList &languages)
{
    return search(files, languages, [](const VideoFileSearchDictionary &file) -> QueryChoice {
        if (file.name.isNull())
            return QueryChoice::abandon();
        return XMLRPC::OrderedStruct{{QStringLiteral("query"), nameQuery(file)}};
    });
}

RemoteSubtitles
OSApi::search(const VideoFileSearchList &files, const QStringList &languages,
              const std::function<QueryChoice(const VideoFileSearchDictionary &)> &queryFor)
{
    if (files.isEmpty() || languages.isEmpty())
        return std::nullopt;
    const QString joined = languages.join(u',');
    QVariantList queries;
    for (const VideoFileSearchDictionary &file : files) {
        QueryChoice choice = queryFor(file);
        if (choice.abandoned)
            return std::nullopt;
        if (choice.query.isEmpty())
            continue;
        choice.query.append({SubLanguageId, joined});
        queries.append(QVariant::fromValue(choice.query));
    }
    return searchSubtitles(queries);
}

RemoteSubtitles OSApi::searchSubtitles(const QVariantList &queries)
{
    const std::optional<QVariantMap> reply =
        sessionCall(QStringLiteral("SearchSubtitles"), {QVariant(queries)});
    if (!reply)
        return std::nullopt;
    const auto data = reply->constFind(Data);
    if (data == reply->cend() || isNumber(*data))
        return std::nullopt;
    QList<TNRemoteSubtitle> subtitles;
    const QVariantList entries = data->toList();
    for (const QVariant &entry : entries) {
        if (entry.typeId() != QMetaType::QVariantMap)
            break;
        subtitles.append(subtitleFromReply(entry.toMap()));
    }
    return subtitles;
}

std::optional<QMap<QString, QString>>
OSApi::imdbSeachArrayFromFiles(const VideoFileSearchList &files)
{
    QStringList hashes;
    for (const VideoFileSearchDictionary &file : files) {
        if (!file.fileHash.isNull() && file.fileSize && !file.season && !file.episode)
            hashes.append(file.fileHash);
    }
    if (hashes.isEmpty())
        return std::nullopt;
    const std::optional<QVariantMap> reply =
        sessionCall(QStringLiteral("CheckMovieHash"), {QVariant(hashes)});
    if (!reply)
        return std::nullopt;
    const QVariant data = reply->value(Data);
    if (data.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    QMap<QString, QString> imdbByHash;
    const QVariantMap movies = data.toMap();
    for (auto it = movies.cbegin(); it != movies.cend(); ++it) {
        if (it->typeId() != QMetaType::QVariantMap)
            continue;
        const QString imdb = textOf(it->toMap(), QStringLiteral("MovieImdbID"));
        if (!imdb.isNull())
            imdbByHash.insert(it.key(), imdb);
    }
    return imdbByHash;
}

RemoteSubtitles OSApi::downloadSubtitles(const QStringList &ids)
{
    if (login() != 0)
        return std::nullopt;
    Error error;
    const std::optional<QVariantMap> reply =
        sessionCall(QStringLiteral("DownloadSubtitles"), {ids}, &error);
    if (!error.isNull())
        qCInfo(lcServices).noquote()
            << QStringLiteral("Error downloading Subtitle: %1").arg(error.localizedDescription());
    qCInfo(lcServices).noquote()
        << QStringLiteral("Opensubtitles download Server response: %1")
               .arg(reply ? QStringLiteral("status \"%1\"").arg(reply->value(Status).toString())
                          : QStringLiteral("(none)"));
    QList<TNRemoteSubtitle> subtitles;
    const auto data = reply ? reply->constFind(Data) : QVariantMap::const_iterator();
    if (reply && data != reply->cend()) {
        if (data->typeId() != QMetaType::QVariantList)
            throw Exception(Exception::InvalidArgument,
                            QStringLiteral("The downloaded data is not a list"));
        const QVariantList entries = data->toList();
        for (const QVariant &entry : entries) {
            if (entry.typeId() != QMetaType::QVariantMap)
                throw Exception(Exception::InvalidArgument,
                                QStringLiteral("A downloaded entry is not a struct"));
            const QVariantMap fields = entry.toMap();
            const QString id = textOf(fields, QStringLiteral("idsubtitlefile"));
            // The service sends a base64 string; a <base64> value arrives already decoded.
            const QVariant packed = fields.value(Data);
            const QByteArray content =
                gunzippedData(packed.typeId() == QMetaType::QByteArray
                                  ? packed.toByteArray()
                                  : dataWithBase64EncodedString(packed.toString()));
            if (id.isNull() || content.isEmpty())
                continue;
            TNRemoteSubtitle subtitle;
            subtitle.subtitleID = id;
            subtitle.data = content;
            subtitles.append(subtitle);
        }
    }
    logout();
    return subtitles;
}

std::optional<QVariantMap> OSApi::serverInfo()
{
    const std::optional<QVariantMap> reply = sessionCall(QStringLiteral("ServerInfo"), {});
    qCInfo(lcServices) << "ServerInfo:" << reply.value_or(QVariantMap());
    return reply;
}

std::optional<QVariantMap> OSApi::noOperation()
{
    const std::optional<QVariantMap> reply = sessionCall(QStringLiteral("NoOperation"), {});
    qCInfo(lcServices) << "NoOp:" << reply.value_or(QVariantMap());
    return reply;
}

QByteArray OSApi::dataWithBase64EncodedString(const QString &text)
{
    if (text.isEmpty())
        return {};
    return QByteArray::fromBase64(text.toLatin1());
}

QByteArray OSApi::gunzippedData(const QByteArray &data)
{
    if (data.isEmpty())
        return {};
    const qsizetype growth = qMax<qsizetype>(data.size() / 2, 1);
    QByteArray buffer(data.size() + data.size() / 2, Qt::Uninitialized);
    z_stream stream{};
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    if (inflateInit2(&stream, 47) != Z_OK)
        return {};
    int status = Z_OK;
    while (status == Z_OK) {
        if (qsizetype(stream.total_out) >= buffer.size()) {
            if (buffer.size() >= LargestSubtitle) {
                status = Z_MEM_ERROR;
                break;
            }
            buffer.resize(qMin(buffer.size() + growth, LargestSubtitle + 1));
        }
        stream.next_out = reinterpret_cast<Bytef *>(buffer.data()) + stream.total_out;
        stream.avail_out = uInt(buffer.size() - qsizetype(stream.total_out));
        status = inflate(&stream, Z_SYNC_FLUSH);
    }
    const qsizetype produced = qsizetype(stream.total_out);
    if (inflateEnd(&stream) != Z_OK || status != Z_STREAM_END || produced > LargestSubtitle)
        return {};
    buffer.truncate(produced);
    return buffer;
}
