// The receiving half of HTTPRequest: response heads, bodies, redirects, connection hand-back
// and the one failure path.
#include "http/HTTPRequest.h"

#include "http/BandwidthThrottle.h"
#include "http/ConnectionPool.h"
#include "http/CookieStorage.h"
#include "http/Gzip.h"
#include "http/HTTPCacheDelegate.h"
#include "http/HTTPMessage.h"
#include "http/HTTPRequestError.h"
#include "http/HTTPResponseHead.h"
#include "http/HTTPStream.h"
#include "http/SelectorCall.h"
#include "http/SessionCookies.h"
#include "http/TextEncoding.h"

#include "platform/FileWriter.h"
#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUuid>

#include <filesystem>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int MaxRedirects = 6;

Clock::time_point secondsFromNow(double seconds)
{
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// The integer after `key` in a "Keep-Alive" value, 0 when missing.
int keepAliveParameter(const QByteArray &value, const QByteArray &key)
{
    const qsizetype at = value.indexOf(key);
    if (at < 0)
        return 0;
    qsizetype end = at + key.size();
    while (end < value.size() && value.at(end) >= '0' && value.at(end) <= '9')
        ++end;
    return value.mid(at + key.size(), end - at - key.size()).toInt();
}

// Puts `from` in place of `to` in one step, so that `to` is either the old file or the whole new
// one, never missing; a copy beside `to` stands in when rename cannot cross file systems.
bool replaceFile(const QString &from, const QString &to, QString *problem)
{
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(from).toStdString(),
                            QFile::encodeName(to).toStdString(), error);
    if (!error)
        return true;
    if (error != std::errc::cross_device_link) {
        *problem = QString::fromStdString(error.message());
        return false;
    }
    if (!FileWriter::replaceWithCopy(to, from, FileWriter::Access::Shared, problem))
        return false;
    QFile::remove(from);
    return true;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("HTTPRequest", text);
}

Error moveError(const QString &from, const QString &to, const QString &problem)
{
    return HTTPRequestError::withText(
        HTTPRequestError::FileManagement,
        tr("Failed to move file from '%1' to '%2': %3").arg(from, to, problem));
}

Error fileWriteError(const QFile &file)
{
    return HTTPRequestError::withText(
        HTTPRequestError::FileManagement,
        tr("Failed to write file at path '%1': %2").arg(file.fileName(), file.errorString()));
}

Error responseTooLarge(qint64 limit)
{
    return HTTPRequestError::withText(HTTPRequestError::ConnectionFailure,
                                      tr("The response is larger than %1 bytes").arg(limit));
}

Error inflatedTooLarge(const QString &what, qint64 limit)
{
    return HTTPRequestError::withText(
        HTTPRequestError::FileManagement,
        tr("Decompression of %1 failed: larger than %2 bytes").arg(what).arg(limit));
}

// Writes all of the data or fails with the file's error set: a write that the disk cut short
// is tried again for the rest, which then fails with the system's reason.
bool writeAll(QFile &file, const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 written = file.write(data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool isSameOrigin(const QUrl &a, const QUrl &b)
{
    const int defaultPort =
        a.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80;
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(defaultPort) == b.port(defaultPort);
}

} // namespace

void HTTPRequest::forgetCredentials()
{
    // Whatever proved who we are to one server is nobody else's business.
    m_username.clear();
    m_password.clear();
    m_domain.clear();
    m_requestCredentials.reset();
    m_requestAuthentication.reset();
    m_authenticationScheme.clear();
    m_authenticationRealm.clear();
    if (m_requestHeaders)
        m_requestHeaders->removeIf([](const auto &header) {
            return header.key().compare(QLatin1String("Authorization"), Qt::CaseInsensitive) == 0;
        });
}

void HTTPRequest::readResponseHeaders()
{
    m_authenticationNeeded = 0;
    const HTTPResponseHead *head = m_readStream ? m_readStream->responseHead() : nullptr;
    if (!head)
        return;
    m_responseHeaders = head->allHeaderFields();
    m_responseStatusCode = head->statusCode();
    m_responseStatusMessage = QString::fromLatin1(head->statusLine());
    if (m_cachePolicy == HTTPCacheDelegate::ReloadIfDifferentCachePolicy &&
        !m_downloadCache.expired() && useDataFromCache())
        return;
    if (m_responseStatusCode == 401)
        m_authenticationNeeded = 1;
    else if (m_responseStatusCode == 407)
        m_authenticationNeeded = 2;
    parseStringEncodingFromHeaders();
    if (m_authenticationNeeded == 0)
        storePresentedBasicCredentials();
    storeResponseCookies(*head);
    if (const auto location = head->header("Location"); location && isFollowedRedirect())
        prepareRedirect(*location);
    if (!m_needsRedirect)
        readContentLength(*head);
    if (m_shouldAttemptPersistentConnection)
        readKeepAlive(*head);
    requestReceivedResponseHeaders();
}

void HTTPRequest::storeResponseCookies(const HTTPResponseHead &head)
{
    m_responseCookies = CookieStorage::cookiesFromResponse(head.values("Set-Cookie"), m_url);
    if (!m_useCookiePersistence)
        return;
    CookieStorage::shared().setCookiesFromUrl(m_responseCookies, m_url);
    for (const QNetworkCookie &cookie : std::as_const(m_responseCookies))
        SessionCookies::addSessionCookie(cookie);
}

bool HTTPRequest::isFollowedRedirect() const
{
    const int status = m_responseStatusCode;
    return m_shouldRedirect && (status == 301 || status == 302 || status == 303 || status == 307);
}

void HTTPRequest::prepareRedirect(const QByteArray &location)
{
    const int status = m_responseStatusCode;
    const bool keepsRequest =
        status == 307 || (status != 303 && m_shouldUseRFC2616RedirectBehaviour);
    if (!keepsRequest)
        becomePlainGet();
    const QUrl target = m_url.resolved(QUrl::fromEncoded(location));
    if (!isSameOrigin(m_url, target))
        forgetCredentials();
    m_url = target;
    m_needsRedirect = true;
    m_requestCookies.clear();
    if (keepsRequest) {
        // The cookies sent to the old place must not travel to the new one.
        if (m_requestHeaders)
            m_requestHeaders->remove(QStringLiteral("Cookie"));
        applyCookieHeader();
    }
}

void HTTPRequest::becomePlainGet()
{
    m_requestMethod = QStringLiteral("GET");
    m_postBody.reset();
    m_postLength = 0;
    QMap<QString, QString> kept;
    for (const QString &name : {QStringLiteral("User-Agent"), QStringLiteral("Accept")}) {
        if (m_requestHeaders && m_requestHeaders->contains(name))
            kept.insert(name, m_requestHeaders->value(name));
    }
    m_requestHeaders = kept;
    m_haveBuiltRequestHeaders = false;
}

void HTTPRequest::readContentLength(const HTTPResponseHead &head)
{
    // A HEAD pre-request sizes its main request, with its own (fresh) progress switches.
    const auto main = m_mainRequest.lock();
    HTTPRequest &sized = main ? *main : *this;
    QMutexLocker sizedLock(&sized.m_cancelledLock);
    const bool sizes = m_showAccurateProgress && m_shouldResetDownloadProgress;
    const auto length = head.header("Content-Length");
    if (!length) {
        if (sizes)
            sized.countUnknownDownloadSize();
        return;
    }
    const quint64 parsed = length->trimmed().toULongLong(nullptr, 0);
    // 20 bytes is an empty body gzipped: the real size is unknown.
    if (main && main->m_allowCompressedResponse && parsed == 20 && sizes) {
        main->countUnknownDownloadSize();
    } else {
        sized.m_contentLength = parsed;
        if (sizes)
            sized.incrementDownloadSizeBy(qint64(parsed + sized.m_partialDownloadSize));
    }
    // Growing a large body step by step would copy it over and over.
    if (m_rawResponseData && !exceedsResponseSizeLimit(parsed))
        m_rawResponseData->reserve(qsizetype(parsed));
}

void HTTPRequest::countUnknownDownloadSize()
{
    m_showAccurateProgress = false;
    incrementDownloadSizeBy(1);
}

void HTTPRequest::readKeepAlive(const HTTPResponseHead &head)
{
    const auto connection = head.header("Connection");
    const QByteArray token = connection ? connection->toLower() : QByteArray();
    if ((head.version() == "HTTP/1.0" && token != "keep-alive") || token == "close")
        return;
    const auto keepAlive = head.header("Keep-Alive");
    if (!keepAlive) {
        m_connectionCanBeReused = true;
        return;
    }
    const int timeout = keepAliveParameter(*keepAlive, "timeout=");
    if (keepAliveParameter(*keepAlive, "max=") > 5) {
        m_connectionCanBeReused = true;
        m_persistentConnectionTimeoutSeconds = timeout;
    }
}

void HTTPRequest::parseStringEncodingFromHeaders()
{
    QByteArray encoding = m_defaultResponseEncoding;
    if (const auto type = responseHeader(QStringLiteral("Content-Type"))) {
        const qsizetype at = type->indexOf(QLatin1String("charset="), 0, Qt::CaseInsensitive);
        if (at >= 0) {
            const QString rest = type->mid(at + 8);
            const QByteArray name = rest.left(rest.indexOf(QLatin1Char(';'))).toLatin1();
            if (TextEncoding::isKnown(name))
                encoding = name;
        }
    }
    m_responseEncoding = encoding;
}

void HTTPRequest::handleBytesAvailable()
{
    if (!m_responseHeaders)
        readResponseHeaders();
    if (m_complete || !m_readStream || !m_readStream->hasBytesAvailable())
        return;
    const qint64 size = BandwidthThrottle::shared().responseReadLength(readLength());
    const BodySink sink = bodySink();
    if (sink == BodySink::Memory) {
        readIntoResponseData(size);
        return;
    }
    if (m_readBuffer.size() < size)
        m_readBuffer.resize(size);
    const qint64 n = m_readStream->read(m_readBuffer.data(), size);
    if (n < 0) {
        handleStreamError();
        return;
    }
    if (n == 0)
        return;
    countBytesRead(quint64(n));
    if (sink == BodySink::Delegate)
        deliverDataToDelegate(QByteArray(m_readBuffer.constData(), n));
    else if (sink == BodySink::File)
        writeToDownloadFile(m_readBuffer.constData(), n);
}

HTTPRequest::BodySink HTTPRequest::bodySink() const
{
    // A redirect's own body must not reach a resumable file.
    if (m_needsRedirect && m_shouldRedirect && m_allowResumeForFileDownloads)
        return BodySink::Discard;
    if (m_delegateTakesData && m_delegate)
        return BodySink::Delegate;
    if (!m_downloadDestinationPath.isEmpty())
        return BodySink::File;
    return m_rawResponseData ? BodySink::Memory : BodySink::Discard;
}

qint64 HTTPRequest::readLength() const
{
    if (m_contentLength > 262144)
        return 262144;
    if (m_contentLength > 65536)
        return 65536;
    return 16384;
}

void HTTPRequest::readIntoResponseData(qint64 size)
{
    const qsizetype before = m_rawResponseData->size();
    if (exceedsResponseSizeLimit(qMax(m_contentLength, quint64(before) + 1))) {
        failAndStop(responseTooLarge(m_responseSizeLimit));
        return;
    }
    // Straight into the body: no copy on the way.
    m_rawResponseData->resize(before + size);
    const qint64 n = m_readStream->read(m_rawResponseData->data() + before, size);
    m_rawResponseData->resize(before + qMax<qint64>(n, 0));
    if (n < 0)
        handleStreamError();
    else if (n > 0)
        countBytesRead(quint64(n));
}

void HTTPRequest::deliverDataToDelegate(const QByteArray &bytes)
{
    const auto deliver = [me = self(), bytes] {
        QPointer<QObject> receiver;
        QByteArray name;
        {
            QMutexLocker lock(&me->m_cancelledLock);
            receiver = me->m_delegate;
            name = me->m_didReceiveDataSelector;
        }
        if (receiver)
            SelectorCall::invoke(receiver.data(), name, me.get(), bytes);
    };
    if (MainThread::isCurrent())
        deliver();
    else
        MainThread::post(deliver);
}

void HTTPRequest::writeToDownloadFile(const char *data, qint64 size)
{
    if (!m_fileDownloadOutputStream && !openDownloadFile())
        return;
    // A resumed body comes after the part already on disk.
    const quint64 announced = m_contentLength + m_partialDownloadSize;
    if (exceedsDownloadSizeLimit(
            qMax(announced, quint64(m_fileDownloadOutputStream->pos() + size)))) {
        failDownloadTooLarge();
        return;
    }
    if (!writeAll(*m_fileDownloadOutputStream, data, size))
        failFileDownload();
}

bool HTTPRequest::openDownloadFile()
{
    if (m_temporaryFileDownloadPath.isEmpty())
        m_temporaryFileDownloadPath =
            QDir(QDir::tempPath()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
    bool append = false;
    if (m_allowResumeForFileDownloads && m_request && m_request->header("Range")) {
        if (responseHeader(QStringLiteral("Content-Range")))
            append = true;
        else {
            incrementDownloadSizeBy(-qint64(m_partialDownloadSize));
            m_partialDownloadSize = 0;
        }
    }
    m_fileDownloadOutputStream = std::make_unique<QFile>(m_temporaryFileDownloadPath);
    if (!m_fileDownloadOutputStream->open(QIODevice::WriteOnly |
                                          (append ? QIODevice::Append : QIODevice::Truncate))) {
        failFileDownload();
        return false;
    }
    return true;
}

void HTTPRequest::failFileDownload()
{
    failAndStop(fileWriteError(*m_fileDownloadOutputStream));
}

void HTTPRequest::failDownloadTooLarge()
{
    // Not even a resumable part is kept: the rest would not fit either.
    m_fileDownloadOutputStream.reset();
    QFile::remove(m_temporaryFileDownloadPath);
    m_temporaryFileDownloadPath.clear();
    failAndStop(responseTooLarge(m_downloadSizeLimit));
}

void HTTPRequest::failAndStop(const Error &error)
{
    failWithError(error);
    cancelLoad();
    m_complete = true;
}

bool HTTPRequest::exceedsResponseSizeLimit(quint64 size) const
{
    return m_responseSizeLimit > 0 && size > quint64(m_responseSizeLimit);
}

bool HTTPRequest::exceedsDownloadSizeLimit(quint64 size) const
{
    return m_downloadSizeLimit > 0 && size > quint64(m_downloadSizeLimit);
}

void HTTPRequest::countBytesRead(quint64 count)
{
    m_totalBytesRead += count;
    m_lastActivityTime = Clock::now();
    BandwidthThrottle::shared().incrementBandwidthUsedInLastSecond(count);
}

void HTTPRequest::handleStreamComplete()
{
    m_downloadComplete = true;
    if (!m_responseHeaders)
        readResponseHeaders();
    Error heldError;
    m_lastBytesSent = m_totalBytesSent;
    if (m_readStream)
        m_totalBytesSent = m_readStream->requestBodyBytesWritten();
    m_complete = true;
    updateProgressIndicators();
    // A redirect that keeps the body still needs the engine's body file.
    const bool bodyGoesOn = m_needsRedirect && m_postLength > 0;
    if (m_didCreateTemporaryPostDataFile && m_authenticationNeeded == 0 && !bodyGoesOn) {
        removePostDataFile();
        m_didCreateTemporaryPostDataFile = false;
    }
    if (!m_temporaryFileDownloadPath.isEmpty())
        heldError = completeFileDownload();
    // Inflated here, once, so that the caller's thread never pays for it.
    if (m_rawResponseData && !m_needsRedirect && m_authenticationNeeded == 0 &&
        isResponseCompressed() && !inflateResponseData())
        heldError = inflatedTooLarge(tr("the response"), m_responseSizeLimit);
    // Only a whole body the request kept itself is worth storing.
    const bool bodyKept = !(m_delegateTakesData && m_delegate);
    if (!m_didUseCachedResponse && heldError.isNull() && bodyKept) {
        if (const auto cache = m_downloadCache.lock())
            cache->storeResponseForRequest(*this, m_secondsToCache);
    }
    {
        QMutexLocker lock(&ConnectionPool::shared().lock());
        if (!m_connectionCanBeReused)
            unscheduleReadStream();
        if (m_connectionInfo) {
            m_connectionInfo->request.reset();
            m_connectionInfo->expires = secondsFromNow(m_persistentConnectionTimeoutSeconds);
        }
    }
    if (m_authenticationNeeded == 0)
        destroyReadStream();
    if (!m_needsRedirect && m_authenticationNeeded == 0 && !m_didUseCachedResponse) {
        if (!heldError.isNull())
            failWithError(heldError);
        else
            requestFinished();
        markAsFinished();
    }
    if (m_authenticationNeeded != 0)
        m_statusTimer.reset();
}

Error HTTPRequest::completeFileDownload()
{
    if (m_fileDownloadOutputStream && !m_fileDownloadOutputStream->flush()) {
        const Error error = fileWriteError(*m_fileDownloadOutputStream);
        m_fileDownloadOutputStream.reset();
        if (!m_allowResumeForFileDownloads)
            removeTemporaryDownloadFile();
        return error;
    }
    m_fileDownloadOutputStream.reset();
    if (m_shouldRedirect && m_needsRedirect && m_allowResumeForFileDownloads)
        return {};
    if (isResponseCompressed())
        return inflateDownload();
    const QString temporary = m_temporaryFileDownloadPath;
    const QString destination = m_downloadDestinationPath;
    QString problem;
    if (!replaceFile(temporary, destination, &problem)) {
        if (!m_allowResumeForFileDownloads)
            removeTemporaryDownloadFile();
        return moveError(temporary, destination, problem);
    }
    m_temporaryFileDownloadPath.clear();
    return {};
}

Error HTTPRequest::inflateDownload()
{
    // Inflate beside the destination and replace it only when the whole body inflated, so that
    // a broken download never destroys the file that was there.
    const QString temporary = m_temporaryFileDownloadPath;
    const QString destination = m_downloadDestinationPath;
    const QString partial =
        destination + QStringLiteral(".part-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    int cause = 0;
    const int result =
        Gzip::uncompressZippedDataFromFile(temporary, partial, m_downloadSizeLimit, &cause);
    Error error;
    QString problem;
    if (result == Gzip::OutputTooLarge) {
        error = inflatedTooLarge(temporary, m_downloadSizeLimit);
    } else if (result != 0) {
        QString text = tr("Decompression of %1 failed with code %2").arg(temporary).arg(result);
        if (cause != 0)
            text += QStringLiteral(": ") + qt_error_string(cause);
        error = HTTPRequestError::withText(HTTPRequestError::FileManagement, text);
    } else if (!replaceFile(partial, destination, &problem)) {
        QFile::remove(partial);
        error = moveError(partial, destination, problem);
    }
    removeTemporaryDownloadFile();
    return error;
}

void HTTPRequest::handleStreamError()
{
    const StreamError streamError = m_readStream ? m_readStream->error() : StreamError();
    cancelLoad();
    if (m_error.isNull()) {
        // A kept-alive socket the server has closed meanwhile gets one fresh try.
        if (streamError.kind == StreamError::Kind::ConnectionLost && retryUsingNewConnection())
            return;
        failWithError(HTTPRequestError::connectionFailure(
            streamError.toError(), streamError.kind == StreamError::Kind::Tls,
            streamError.isExchangeFault() ? streamError.text : QString()));
    }
    checkRequestStatus();
}

bool HTTPRequest::retryUsingNewConnection()
{
    if (m_retryCount != 0)
        return false;
    {
        QMutexLocker lock(&ConnectionPool::shared().lock());
        if (m_connectionInfo) {
            m_connectionInfo->request.reset();
            ConnectionPool::shared().removeEntry(m_connectionInfo);
            m_connectionInfo.reset();
        }
    }
    ++m_retryCount;
    startRequest();
    return true;
}

void HTTPRequest::performRedirect()
{
    {
        QMutexLocker lock(&m_cancelledLock);
        m_complete = true;
        m_needsRedirect = false;
        ++m_redirectCount;
        if (m_redirectCount >= MaxRedirects) {
            failWithError(HTTPRequestError::tooMuchRedirection());
            return;
        }
    }
    runMain();
}

void HTTPRequest::failAuthentication()
{
    // No credentials are known to this engine, so a challenge ends the request.
    QMutexLocker lock(&m_cancelledLock);
    if (!m_error.isNull() || m_cancelled)
        return;
    cancelLoad();
    failWithError(HTTPRequestError::authenticationNeeded());
}

void HTTPRequest::failWithError(const Error &error)
{
    QMutexLocker lock(&m_cancelledLock);
    m_complete = true;
    if (error.code() != HTTPRequestError::AuthenticationNeeded &&
        error.code() != HTTPRequestError::TooMuchRedirection) {
        removeConnectionEntry();
        destroyReadStream();
    }
    if (m_connectionCanBeReused && m_connectionInfo)
        m_connectionInfo->expires = secondsFromNow(m_persistentConnectionTimeoutSeconds);
    if (m_cancelled || !m_error.isNull())
        return;
    // A cancel is never turned into an answer.
    if (m_cachePolicy == HTTPCacheDelegate::UseCacheIfLoadFailsCachePolicy &&
        error.code() != HTTPRequestError::RequestCancelled && !m_downloadCache.expired() &&
        useDataFromCache())
        return;
    m_error = error;
    // A failure before the start with nobody to tell is told when the request starts.
    m_errorReported = m_inProgress || m_delegate || m_queue;
    if (const auto main = m_mainRequest.lock()) {
        // The main request reports one failure only, its own or its pre-request's.
        bool first = false;
        {
            QMutexLocker mainLock(&main->m_cancelledLock);
            first = main->m_error.isNull();
            if (first) {
                main->m_error = error;
                main->m_errorReported = true;
            }
        }
        if (first)
            main->reportFailure();
    } else {
        reportFailure();
    }
    if (m_inProgress)
        markAsFinished();
}

void HTTPRequest::removeConnectionEntry()
{
    QMutexLocker poolLock(&ConnectionPool::shared().lock());
    if (m_connectionInfo) {
        m_connectionInfo->request.reset();
        ConnectionPool::shared().removeEntry(m_connectionInfo);
    }
}

bool HTTPRequest::useDataFromCache()
{
    const auto cache = m_downloadCache.lock();
    if (!cache)
        return false;
    const auto headers = cache->cachedHeadersForRequest(*this);
    const QString dataPath = cache->pathToCachedResponseDataForRequest(*this);
    if (!headers || dataPath.isEmpty())
        return false;
    if (m_cachePolicy == HTTPCacheDelegate::ReloadIfDifferentCachePolicy &&
        !cache->isCachedDataCurrentForRequest(*this)) {
        cache->removeCachedDataForRequest(*this);
        return false;
    }
    std::optional<QByteArray> body;
    if (m_downloadDestinationPath.isEmpty()) {
        body = cache->cachedResponseDataForRequest(*this);
        if (!body)
            return false;
    }
    if (m_readStream) {
        if (m_readStream->didReleaseConnection()) {
            // A bodiless answer (304) left the socket clean and idle for the next request.
            QMutexLocker poolLock(&ConnectionPool::shared().lock());
            m_connectionCanBeReused = true;
            if (m_connectionInfo) {
                m_connectionInfo->request.reset();
                m_connectionInfo->expires = secondsFromNow(m_persistentConnectionTimeoutSeconds);
            }
        } else {
            // The socket still carries the rest of the server's answer.
            removeConnectionEntry();
            m_connectionCanBeReused = false;
        }
        destroyReadStream();
    }
    m_responseStatusCode = 200;
    m_didUseCachedResponse = true;
    m_responseHeaders = *headers;
    m_haveInflatedResponseData = false;
    m_inflatedResponseData.reset();
    if (body)
        m_rawResponseData = std::move(body);
    else
        m_downloadDestinationPath = dataPath;
    // The stored body's own size: a stored length may be that of the compressed body.
    m_contentLength = quint64(QFileInfo(dataPath).size());
    m_totalBytesRead = m_contentLength;
    parseStringEncodingFromHeaders();
    if (const auto cookies = responseHeader(QStringLiteral("Set-Cookie")))
        m_responseCookies = CookieStorage::cookiesFromResponse({cookies->toLatin1()}, m_url);
    m_complete = true;
    m_downloadComplete = true;
    updateProgressIndicators();
    requestFinished();
    markAsFinished();
    return true;
}
