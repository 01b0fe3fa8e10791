#include "http/HTTPRequest.h"

#include "http/BandwidthThrottle.h"
#include "http/ConnectionPool.h"
#include "http/ConnectionTable.h"
#include "http/CookieStorage.h"
#include "http/Gzip.h"
#include "http/HTTPCacheDelegate.h"
#include "http/HTTPInputStream.h"
#include "http/HTTPMessage.h"
#include "http/HTTPRequestError.h"
#include "http/HTTPResponseHead.h"
#include "http/HTTPStream.h"
#include "http/NetworkThread.h"
#include "http/ProgressIndicator.h"
#include "http/SelectorCall.h"
#include "http/SessionCookies.h"
#include "http/TextEncoding.h"
#include "http/UserAgent.h"

#include "platform/Exception.h"
#include "platform/Logging.h"
#include "platform/MainThread.h"
#include "platform/OperationQueue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QUuid>

#include <thread>
#include <typeinfo>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int StatusIntervalMs = 250;
constexpr qint64 FileCopyBlock = 262144;
// How long a synchronous caller waits awake before it sleeps: about what a small request to a
// nearby server takes.
constexpr auto SynchronousSpin = std::chrono::microseconds(500);

std::atomic<double> &defaultTimeOut()
{
    static std::atomic<double> seconds{10.0};
    return seconds;
}

struct DefaultCache
{
    QMutex lock;
    std::shared_ptr<HTTPCacheDelegate> cache;
};

DefaultCache &defaultCacheSlot()
{
    static DefaultCache slot;
    return slot;
}

void deleteTimer(QTimer *timer)
{
    if (timer)
        timer->deleteLater();
}

void deleteStream(HTTPStream *stream)
{
    stream->deleteLater();
}

QString temporaryPath()
{
    return QDir(QDir::tempPath()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

} // namespace

HTTPRequest::HTTPRequest(const QUrl &url)
    : m_url(url), m_timeOutSeconds(defaultTimeOutSeconds()),
      m_defaultResponseEncoding(TextEncoding::ISOLatin1), m_downloadCache(defaultCache()),
      m_statusTimer(nullptr, &deleteTimer)
{}

HTTPRequest::~HTTPRequest()
{
    if (m_readStreamIsScheduled)
        ConnectionPool::shared().decrementRunningRequests();
    // Streams belong to the network thread; their client holds no reference to this request.
    if (m_readStream)
        NetworkThread::post([stream = std::move(m_readStream)] { stream->close(); });
    m_fileDownloadOutputStream.reset();
    if (!m_temporaryFileDownloadPath.isEmpty() && !m_allowResumeForFileDownloads)
        QFile::remove(m_temporaryFileDownloadPath);
    m_postBodyWriteStream.reset();
    if (m_didCreateTemporaryPostDataFile)
        QFile::remove(m_postBodyFilePath);
    // The compressed copy is always the request's own, whoever made the body file.
    if (!m_compressedPostBodyFilePath.isEmpty())
        QFile::remove(m_compressedPostBodyFilePath);
}

std::shared_ptr<HTTPRequest> HTTPRequest::requestWithURL(const QUrl &url)
{
    return std::make_shared<HTTPRequest>(url);
}

std::shared_ptr<HTTPRequest>
HTTPRequest::requestWithURL(const QUrl &url, const std::shared_ptr<HTTPCacheDelegate> &cache,
                            int cachePolicy)
{
    auto made = requestWithURL(url);
    made->setDownloadCache(cache);
    made->setCachePolicy(cachePolicy);
    return made;
}

std::shared_ptr<HTTPRequest> HTTPRequest::self() const
{
    return std::static_pointer_cast<HTTPRequest>(
        const_cast<HTTPRequest *>(this)->shared_from_this());
}

// Class-wide settings.

double HTTPRequest::defaultTimeOutSeconds()
{
    return defaultTimeOut().load();
}

void HTTPRequest::setDefaultTimeOutSeconds(double seconds)
{
    defaultTimeOut().store(seconds);
}

std::shared_ptr<HTTPCacheDelegate> HTTPRequest::defaultCache()
{
    QMutexLocker lock(&defaultCacheSlot().lock);
    return defaultCacheSlot().cache;
}

void HTTPRequest::setDefaultCache(const std::shared_ptr<HTTPCacheDelegate> &cache)
{
    QMutexLocker lock(&defaultCacheSlot().lock);
    defaultCacheSlot().cache = cache;
}

OperationQueue &HTTPRequest::sharedQueue()
{
    static OperationQueue *queue = [] {
        OperationQueue *made = nullptr;
        MainThread::run([&made] {
            made = new OperationQueue;
            made->setMaxConcurrentOperationCount(4);
        });
        return made;
    }();
    return *queue;
}

bool HTTPRequest::isNetworkInUse()
{
    return ConnectionPool::shared().isNetworkInUse();
}

void HTTPRequest::setShouldUpdateNetworkActivityIndicator(bool)
{
    // This desktop shows no activity indicator; the running count is all there is.
}

void HTTPRequest::clearSession()
{
    SessionCredentialStore::clearSessionCredentials();
    SessionCookies::setSessionCookies(std::nullopt);
    if (const auto cache = defaultCache())
        cache->clearCachedResponsesForStoragePolicy(
            HTTPCacheDelegate::CacheForSessionDurationCacheStoragePolicy);
}

// Copies.

std::shared_ptr<HTTPRequest> HTTPRequest::copy() const
{
    auto made = requestWithURL(url());
    copySettingsTo(made.get());
    return made;
}

// What a copy and a HEAD pre-request share: how to reach the server and answer it.
void HTTPRequest::copyConnectionSettingsTo(HTTPRequest *made) const
{
    made->m_requestHeaders = m_requestHeaders;
    made->m_requestCookies = m_requestCookies;
    made->m_useCookiePersistence = m_useCookiePersistence;
    made->m_useKeychainPersistence = m_useKeychainPersistence;
    made->m_useSessionPersistence = m_useSessionPersistence;
    made->m_allowCompressedResponse = m_allowCompressedResponse;
    made->m_username = m_username;
    made->m_password = m_password;
    made->m_domain = m_domain;
    made->m_proxyUsername = m_proxyUsername;
    made->m_proxyPassword = m_proxyPassword;
    made->m_proxyDomain = m_proxyDomain;
    made->m_proxyHost = m_proxyHost;
    made->m_proxyPort = m_proxyPort;
    made->m_proxyType = m_proxyType;
    made->m_shouldPresentAuthenticationDialog = m_shouldPresentAuthenticationDialog;
    made->m_shouldPresentProxyAuthenticationDialog = m_shouldPresentProxyAuthenticationDialog;
    made->m_timeOutSeconds = m_timeOutSeconds;
    made->m_totalTimeOutSeconds = m_totalTimeOutSeconds;
    made->m_useHTTPVersionOne = m_useHTTPVersionOne;
    made->m_validatesSecureCertificate = m_validatesSecureCertificate;
    made->m_clientIdentity = m_clientIdentity;
    made->m_clientCertificates = m_clientCertificates;
    made->m_PACurl = m_PACurl;
    made->m_shouldPresentCredentialsBeforeChallenge = m_shouldPresentCredentialsBeforeChallenge;
    made->m_numberOfTimesToRetryOnTimeout = m_numberOfTimesToRetryOnTimeout;
    made->m_shouldUseRFC2616RedirectBehaviour = m_shouldUseRFC2616RedirectBehaviour;
    made->m_shouldAttemptPersistentConnection = m_shouldAttemptPersistentConnection;
    made->m_persistentConnectionTimeoutSeconds = m_persistentConnectionTimeoutSeconds;
}

void HTTPRequest::copySettingsTo(HTTPRequest *made) const
{
    QMutexLocker lock(&m_cancelledLock);
    copyConnectionSettingsTo(made);
    made->m_requestMethod = m_requestMethod;
    made->m_postBody = m_postBody;
    made->m_postBodyFilePath = m_postBodyFilePath;
    made->m_shouldStreamPostDataFromDisk = m_shouldStreamPostDataFromDisk;
    made->m_postLength = m_postLength;
    made->m_shouldRedirect = m_shouldRedirect;
    made->m_allowResumeForFileDownloads = m_allowResumeForFileDownloads;
    made->m_downloadDestinationPath = m_downloadDestinationPath;
    made->m_temporaryFileDownloadPath = m_temporaryFileDownloadPath;
    made->m_defaultResponseEncoding = m_defaultResponseEncoding;
    made->m_responseSizeLimit = m_responseSizeLimit;
    made->m_downloadSizeLimit = m_downloadSizeLimit;
    made->m_userInfo = m_userInfo;
    made->m_delegate = m_delegate;
    made->m_delegateTakesData =
        SelectorCall::respondsToDataCall<HTTPRequest>(m_delegate, made->m_didReceiveDataSelector);
    made->m_delegateAuthenticationAnswers = m_delegateAuthenticationAnswers;
    made->setUploadProgressDelegate(m_uploadProgressDelegate);
    made->setDownloadProgressDelegate(m_downloadProgressDelegate);
    made->m_didStartSelector = m_didStartSelector;
    made->m_didFinishSelector = m_didFinishSelector;
    made->m_didFailSelector = m_didFailSelector;
    made->m_showAccurateProgress = m_showAccurateProgress;
    made->m_shouldResetDownloadProgress = m_shouldResetDownloadProgress;
    made->m_shouldResetUploadProgress = m_shouldResetUploadProgress;
    made->m_haveBuiltPostBody = m_haveBuiltPostBody;
    // An engine-made body file belongs to its request, which deletes it at the end; the copy
    // gets a file of its own so that it still has a body to send.
    if (m_didCreateTemporaryPostDataFile && !m_postBodyFilePath.isEmpty()) {
        if (m_postBodyWriteStream)
            m_postBodyWriteStream->flush();
        const QString own = temporaryPath();
        if (QFile::copy(m_postBodyFilePath, own)) {
            made->m_postBodyFilePath = own;
            made->m_didCreateTemporaryPostDataFile = true;
        } else {
            made->m_haveBuiltPostBody = false;
        }
    }
}

std::shared_ptr<HTTPRequest> HTTPRequest::HEADRequest() const
{
    QMutexLocker lock(&m_cancelledLock);
    auto made = requestWithURL(m_url);
    made->m_requestMethod = QStringLiteral("HEAD");
    made->m_mainRequest = self();
    copyConnectionSettingsTo(made.get());
    return made;
}

// Accessors with side effects.

void HTTPRequest::setDelegate(QObject *delegate)
{
    QMutexLocker lock(&m_cancelledLock);
    m_delegate = delegate;
    m_delegateTakesData =
        SelectorCall::respondsToDataCall<HTTPRequest>(delegate, m_didReceiveDataSelector);
    m_delegateAuthenticationAnswers = authenticationAnswers(delegate);
}

void HTTPRequest::setQueue(QObject *queue)
{
    QMutexLocker lock(&m_cancelledLock);
    m_queue = queue;
    m_queueAuthenticationAnswers = authenticationAnswers(queue);
}

void HTTPRequest::setDidReceiveDataSelector(const QByteArray &name)
{
    QMutexLocker lock(&m_cancelledLock);
    m_didReceiveDataSelector = name;
    m_delegateTakesData = SelectorCall::respondsToDataCall<HTTPRequest>(m_delegate, name);
}

void HTTPRequest::setUploadProgressDelegate(QObject *receiver)
{
    setLocked(m_uploadProgressDelegate, QPointer<QObject>(receiver));
    sendMaxValue(receiver);
}

void HTTPRequest::setDownloadProgressDelegate(QObject *receiver)
{
    setLocked(m_downloadProgressDelegate, QPointer<QObject>(receiver));
    sendMaxValue(receiver);
}

void HTTPRequest::sendMaxValue(QObject *receiver)
{
    ProgressIndicator::setMaxValue(receiver, 1.0);
}

void HTTPRequest::addRequestHeader(const QString &name, const QString &value)
{
    QMutexLocker lock(&m_cancelledLock);
    if (!m_requestHeaders)
        m_requestHeaders.emplace();
    m_requestHeaders->insert(name, value);
}

int HTTPRequest::connectionID() const
{
    QMutexLocker lock(&m_cancelledLock);
    return m_connectionInfo ? m_connectionInfo->id : 0;
}

// Body building.

void HTTPRequest::setupPostBody()
{
    QMutexLocker lock(&m_cancelledLock);
    if (m_shouldStreamPostDataFromDisk) {
        if (m_postBodyFilePath.isEmpty()) {
            m_postBodyFilePath = temporaryPath();
            m_didCreateTemporaryPostDataFile = true;
        }
        if (!m_postBodyWriteStream) {
            m_postBodyWriteStream = std::make_unique<QFile>(m_postBodyFilePath);
            m_postBodyWriteStream->open(QIODevice::WriteOnly | QIODevice::Truncate);
        }
    } else if (!m_postBody) {
        m_postBody = std::make_shared<QByteArray>();
    }
}

void HTTPRequest::appendPostData(const QByteArray &data)
{
    if (data.isEmpty())
        return;
    QMutexLocker lock(&m_cancelledLock);
    setupPostBody();
    if (m_shouldStreamPostDataFromDisk)
        m_postBodyWriteStream->write(data);
    else
        m_postBody->append(data);
}

bool HTTPRequest::appendPostDataFromFile(const QString &path)
{
    QMutexLocker lock(&m_cancelledLock);
    setupPostBody();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray block(FileCopyBlock, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(block.data(), FileCopyBlock);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (m_shouldStreamPostDataFromDisk)
            m_postBodyWriteStream->write(block.constData(), n);
        else
            m_postBody->append(block.constData(), n);
    }
}

void HTTPRequest::discardPostBody()
{
    QMutexLocker lock(&m_cancelledLock);
    m_postBodyWriteStream.reset();
    if (m_didCreateTemporaryPostDataFile && !m_postBodyFilePath.isEmpty())
        QFile::remove(m_postBodyFilePath);
    m_didCreateTemporaryPostDataFile = false;
    m_postBodyFilePath.clear();
    m_postBody.reset();
    m_postLength = 0;
    m_haveBuiltPostBody = false;
    if (m_requestHeaders)
        m_requestHeaders->remove(QStringLiteral("Content-Length"));
}

bool HTTPRequest::buildPostBody()
{
    QMutexLocker lock(&m_cancelledLock);
    if (m_haveBuiltPostBody)
        return true;
    if (!m_postBodyFilePath.isEmpty()) {
        m_postBodyWriteStream.reset();
        QString path = m_postBodyFilePath;
        if (m_shouldCompressRequestBody) {
            m_compressedPostBodyFilePath = temporaryPath();
            const int result = Gzip::compressDataFromFile(path, m_compressedPostBodyFilePath);
            // A failed compression must not go out as a truncated body.
            if (result != 0) {
                QFile::remove(m_compressedPostBodyFilePath);
                m_compressedPostBodyFilePath.clear();
                failWithError(HTTPRequestError::withText(
                    HTTPRequestError::FileManagement,
                    tr("Compression of %1 failed with code %2").arg(path).arg(result)));
                return false;
            }
            path = m_compressedPostBodyFilePath;
        }
        const QFileInfo info(path);
        if (!info.exists()) {
            failWithError(HTTPRequestError::withText(
                HTTPRequestError::FileManagement,
                tr("Failed to get attributes for file at path '%1'").arg(path)));
            return false;
        }
        m_postLength = quint64(info.size());
    } else if (m_shouldCompressRequestBody && m_postBody && !m_postBody->isEmpty()) {
        m_compressedPostBody = Gzip::compressData(*m_postBody);
        if (!m_compressedPostBody) {
            failWithError(HTTPRequestError::withText(
                HTTPRequestError::FileManagement,
                tr("Compression of %1 failed with code %2").arg(tr("the request body")).arg(-1)));
            return false;
        }
        m_postLength = quint64(m_compressedPostBody->size());
    } else {
        m_postLength = m_postBody ? quint64(m_postBody->size()) : 0;
    }
    if (m_postLength > 0) {
        if (m_requestMethod == QLatin1String("GET") || m_requestMethod == QLatin1String("DELETE") ||
            m_requestMethod == QLatin1String("HEAD"))
            m_requestMethod = QStringLiteral("POST");
        addRequestHeader(QStringLiteral("Content-Length"), QString::number(m_postLength));
    }
    m_haveBuiltPostBody = true;
    return true;
}

// Starting and cancelling.

void HTTPRequest::main()
{
    auto me = self();
    {
        QMutexLocker lock(&m_cancelledLock);
        m_inProgress = true;
        m_keepAlive = me;
        m_startTime = Clock::now();
    }
    if (!chooseProxy())
        return;
    NetworkThread::post([me] { me->runMain(); });
}

void HTTPRequest::startAsynchronous()
{
    sharedQueue().addOperation(self());
}

void HTTPRequest::startSynchronous()
{
    Q_ASSERT_X(!NetworkThread::isCurrent(), "HTTPRequest::startSynchronous",
               "the network thread cannot wait for itself");
    auto me = self();
    {
        QMutexLocker lock(&m_cancelledLock);
        m_runLoopMode = SynchronousRunLoopMode;
        if (m_cancelled || m_complete)
            return;
        m_inProgress = true;
        m_keepAlive = me;
        m_startTime = Clock::now();
    }
    if (!chooseProxy())
        return;
    m_syncState.store(SyncCallerWaits, std::memory_order_relaxed);
    NetworkThread::post([me] { me->runMain(); });
    // A small request is answered within a fraction of a millisecond; waiting awake for that
    // long spares the far dearer wake-up from sleep. markAsFinished has already marked the
    // request as no longer in progress.
    const auto until = Clock::now() + SynchronousSpin;
    while (m_syncState.load(std::memory_order_acquire) == SyncCallerWaits && Clock::now() < until)
        std::this_thread::yield();
    while (m_syncState.load(std::memory_order_acquire) == SyncCallerWaits)
        m_syncState.wait(SyncCallerWaits, std::memory_order_acquire);
}

void HTTPRequest::cancel()
{
    Operation::cancel();
    auto me = self();
    NetworkThread::post([me] { me->cancelOnRequestThread(); });
}

void HTTPRequest::cancelOnRequestThread()
{
    QMutexLocker lock(&m_cancelledLock);
    // A request waiting for its delegate's credentials is complete but still has to end.
    if (m_cancelled || (m_complete && !m_waitingForCredentials))
        return;
    m_waitingForCredentials = false;
    failWithError(HTTPRequestError::cancelled());
    m_complete = true;
    cancelLoad();
    m_cancelled = true;
}

// The request's main step, on the network thread.

void HTTPRequest::runMain()
{
    QMutexLocker lock(&m_cancelledLock);
    try {
        if (!m_error.isNull()) {
            m_complete = true;
            // An error held from before the start (a failed body part) still reaches the
            // caller once.
            if (!m_errorReported) {
                m_errorReported = true;
                reportFailure();
            }
            markAsFinished();
            return;
        }
        m_complete = false;
        m_didUseCachedResponse = false;
        if (m_url.isEmpty() || !m_url.isValid()) {
            failWithError(HTTPRequestError::unableToCreateRequest());
            return;
        }
        const auto main = m_mainRequest.lock();
        if (!main && !buildPostBody())
            return;
        if (m_requestMethod != QLatin1String("GET"))
            m_downloadCache.reset();
        m_request.reset();
        auto message = HTTPMessage::create(m_requestMethod.toLatin1(), m_url,
                                           m_useHTTPVersionOne ? "HTTP/1.0" : "HTTP/1.1");
        if (!message) {
            failWithError(HTTPRequestError::unableToCreateRequest());
            return;
        }
        m_request = std::make_unique<HTTPMessage>(std::move(*message));
        if (main)
            main->buildRequestHeaders();
        buildRequestHeaders();
        if (!m_error.isNull())
            return;
        if (const auto cache = m_downloadCache.lock()) {
            if (m_cachePolicy == HTTPCacheDelegate::UseDefaultCachePolicy)
                m_cachePolicy = cache->defaultCachePolicy();
            if (m_cachePolicy == HTTPCacheDelegate::OnlyLoadIfNotCachedCachePolicy &&
                useDataFromCache())
                return;
            if (m_cachePolicy == HTTPCacheDelegate::ReloadIfDifferentCachePolicy) {
                if (const auto headers = cache->cachedHeadersForRequest(*this)) {
                    // Stored values that could not go on a header line are not sent.
                    if (const auto etag = headers->value(QStringLiteral("Etag")); !etag.isNull())
                        m_request->setHeader("If-None-Match", etag.toUtf8());
                    if (const auto modified = headers->value(QStringLiteral("Last-Modified"));
                        !modified.isNull())
                        m_request->setHeader("If-Modified-Since", modified.toUtf8());
                }
            }
        }
        applyAuthorizationHeader();
        if (m_requestHeaders) {
            for (auto it = m_requestHeaders->cbegin(); it != m_requestHeaders->cend(); ++it) {
                // Header text with line breaks would split the request; refuse it.
                if (!m_request->setHeader(it.key().toLatin1(), it.value().toUtf8())) {
                    failWithError(HTTPRequestError::refusedHeader(it.key()));
                    return;
                }
            }
        }
        startRequest();
    } catch (const Exception &exception) {
        failWithError(HTTPRequestError::unhandledException(exception.name(), exception.reason(),
                                                           exception.userInfo()));
    } catch (const std::exception &exception) {
        failWithError(
            HTTPRequestError::unhandledException(QString::fromLatin1(typeid(exception).name()),
                                                 QString::fromUtf8(exception.what()), {}));
    } catch (...) {
        failWithError(HTTPRequestError::unhandledException(
            QStringLiteral("UnknownException"), QStringLiteral("an unknown exception"), {}));
    }
}

void HTTPRequest::buildRequestHeaders()
{
    QMutexLocker lock(&m_cancelledLock);
    if (m_haveBuiltRequestHeaders)
        return;
    m_haveBuiltRequestHeaders = true;
    if (const auto main = m_mainRequest.lock()) {
        if (const auto headers = main->requestHeaders()) {
            for (auto it = headers->cbegin(); it != headers->cend(); ++it)
                addRequestHeader(it.key(), it.value());
        }
        return;
    }
    applyCookieHeader();
    if (!m_requestHeaders || !m_requestHeaders->contains(QStringLiteral("User-Agent"))) {
        const QString agent = UserAgent::defaultUserAgentString();
        if (!agent.isNull())
            addRequestHeader(QStringLiteral("User-Agent"), agent);
    }
    if (m_allowCompressedResponse)
        addRequestHeader(QStringLiteral("Accept-Encoding"), QStringLiteral("gzip"));
    if (m_shouldCompressRequestBody)
        addRequestHeader(QStringLiteral("Content-Encoding"), QStringLiteral("gzip"));
    updatePartialDownloadSize();
    if (m_partialDownloadSize > 0)
        addRequestHeader(QStringLiteral("Range"),
                         QStringLiteral("bytes=%1-").arg(m_partialDownloadSize));
}

void HTTPRequest::applyCookieHeader()
{
    const auto main = m_mainRequest.lock();
    QList<QNetworkCookie> &cookies = main ? main->m_requestCookies : m_requestCookies;
    if (m_useCookiePersistence)
        cookies += CookieStorage::shared().cookiesForUrl(m_url);
    if (cookies.isEmpty())
        return;
    QStringList pairs;
    for (const QNetworkCookie &cookie : std::as_const(cookies))
        pairs.append(QString::fromUtf8(cookie.name() + '=' + cookie.value()));
    addRequestHeader(QStringLiteral("Cookie"), pairs.join(QStringLiteral("; ")));
}

void HTTPRequest::updatePartialDownloadSize()
{
    if (m_allowResumeForFileDownloads && !m_downloadDestinationPath.isEmpty() &&
        !m_temporaryFileDownloadPath.isEmpty() && QFile::exists(m_temporaryFileDownloadPath))
        m_partialDownloadSize = quint64(QFileInfo(m_temporaryFileDownloadPath).size());
}

TlsSettings HTTPRequest::tlsSettings() const
{
    TlsSettings settings;
    settings.validatesCertificateChain = m_validatesSecureCertificate;
    if (m_clientIdentity) {
        settings.clientIdentity = TlsClientIdentity{
            m_clientIdentity->certificate, m_clientIdentity->privateKey, m_clientCertificates};
    }
    return settings;
}

void HTTPRequest::applyProxy(HTTPStream &stream) const
{
    if (m_proxyHost.isEmpty() || m_proxyPort == 0)
        return;
    if (m_proxyType.compare(QLatin1String("SOCKS"), Qt::CaseInsensitive) == 0)
        stream.setSocksProxy(m_proxyHost, quint16(m_proxyPort));
    else
        stream.setHttpProxy(m_proxyHost, quint16(m_proxyPort));
}

void HTTPRequest::startRequest()
{
    QMutexLocker lock(&m_cancelledLock);
    if (m_cancelled)
        return;
    requestStarted();
    resetForPass();
    std::unique_ptr<BodySource> body;
    // A body goes out only with a length: a 303 on a streamed body leaves a GET without one.
    if (m_postLength > 0 && !(body = openBodySource())) {
        failWithError(
            HTTPRequestError::withText(HTTPRequestError::InternalErrorWhileBuildingRequest,
                                       tr("Unable to create read stream")));
        return;
    }
    const std::shared_ptr<HTTPStream> stream(new HTTPStream(*m_request, std::move(body)),
                                             &deleteStream);
    if (m_url.scheme().toLower() == QLatin1String("https"))
        stream->setTlsSettings(tlsSettings());
    applyProxy(*stream);
    if (!openReadStream(stream)) {
        m_connectionCanBeReused = false;
        destroyReadStream();
        failWithError(
            HTTPRequestError::withText(HTTPRequestError::InternalErrorWhileBuildingRequest,
                                       tr("Unable to start HTTP connection")));
        return;
    }
    m_lastActivityTime = Clock::now();
    resetProgress();
    startStatusTimer();
}

void HTTPRequest::resetForPass()
{
    m_downloadComplete = false;
    m_complete = false;
    m_totalBytesRead = 0;
    m_lastBytesRead = 0;
    if (m_redirectCount == 0)
        m_originalURL = m_url;
    if (m_lastBytesSent > 0)
        removeUploadProgressSoFar();
    m_lastBytesSent = 0;
    m_contentLength = 0;
    m_responseHeaders.reset();
    if (m_downloadDestinationPath.isEmpty())
        m_rawResponseData = QByteArray();
    m_haveInflatedResponseData = false;
    m_inflatedResponseData.reset();
    if (m_readStream)
        m_readStream->clearClient();
    m_readStreamIsScheduled = false;
}

std::unique_ptr<BodySource> HTTPRequest::openBodySource()
{
    std::unique_ptr<BodySource> body;
    if (!m_postBodyFilePath.isEmpty() && QFile::exists(m_postBodyFilePath)) {
        const bool compressed =
            !m_compressedPostBodyFilePath.isEmpty() && QFile::exists(m_compressedPostBodyFilePath);
        body = FileBodySource::open(compressed ? m_compressedPostBodyFilePath : m_postBodyFilePath);
    } else if (m_postBody && !m_postBody->isEmpty()) {
        body = std::make_unique<DataBodySource>(m_shouldCompressRequestBody && m_compressedPostBody
                                                    ? *m_compressedPostBody
                                                    : *m_postBody);
    }
    if (!body)
        return nullptr;
    const std::weak_ptr<HTTPRequest> weak = self();
    return std::make_unique<HTTPInputStream>(std::move(body), BandwidthThrottle::shared(), [weak] {
        if (const auto request = weak.lock())
            request->performThrottling();
    });
}

bool HTTPRequest::openReadStream(const std::shared_ptr<HTTPStream> &stream)
{
    ConnectionPool::shared().expirePersistentConnections();
    const std::shared_ptr<HTTPStream> setAside = attachConnection(stream);
    m_readStream = stream;
    const auto wakeUp = BandwidthThrottle::shared().wakeUpTime();
    if (!wakeUp || *wakeUp <= Clock::now())
        scheduleReadStream();
    const std::weak_ptr<HTTPRequest> weak = self();
    stream->setClient([weak](HTTPStream::Event event) {
        if (const auto request = weak.lock())
            request->handleNetworkEvent(event);
    });
    const bool opened = stream->open();
    if (setAside && setAside != stream)
        setAside->close();
    return opened;
}

void HTTPRequest::startStatusTimer()
{
    if (!m_statusTimer) {
        m_statusTimer.reset(new QTimer);
        m_statusTimer->setInterval(StatusIntervalMs);
        const std::weak_ptr<HTTPRequest> weak = self();
        QObject::connect(m_statusTimer.get(), &QTimer::timeout, NetworkThread::context(), [weak] {
            if (const auto request = weak.lock())
                request->updateStatus();
        });
    }
    m_statusTimer->start();
}

std::shared_ptr<HTTPStream> HTTPRequest::attachConnection(const std::shared_ptr<HTTPStream> &stream)
{
    ConnectionPool &pool = ConnectionPool::shared();
    QMutexLocker lock(&pool.lock());
    const QString host = m_url.host();
    const QString scheme = m_url.scheme();
    const int port = qMax(m_url.port(), 0);
    if (host.isEmpty() || scheme.isEmpty())
        m_shouldAttemptPersistentConnection = false;
    if (!m_shouldAttemptPersistentConnection)
        return nullptr;
    if (m_connectionInfo) {
        const bool samePlace = m_connectionInfo->host == host &&
                               m_connectionInfo->scheme == scheme && m_connectionInfo->port == port;
        if (!samePlace || !pool.contains(m_connectionInfo)) {
            m_connectionInfo.reset();
        } else if (m_connectionInfo->expires && *m_connectionInfo->expires < Clock::now()) {
            pool.removeEntry(m_connectionInfo);
            m_connectionInfo.reset();
        }
    }
    if (!m_connectionInfo)
        m_connectionInfo = pool.idleEntry(host, scheme, port);
    std::shared_ptr<HTTPStream> setAside = m_connectionInfo ? m_connectionInfo->stream : nullptr;
    if (!m_connectionInfo)
        m_connectionInfo = pool.addEntry(host, port, scheme);
    if (!m_requestID)
        m_requestID = pool.nextRequestId();
    m_connectionInfo->request = *m_requestID;
    m_connectionInfo->stream = stream;
    m_connectionInfo->expires.reset();
    stream->setPersistentStreamId(m_connectionInfo->id);
    return setAside;
}

// Events, status checks and the read stream.

void HTTPRequest::handleNetworkEvent(int event)
{
    const auto keep = self();
    {
        QMutexLocker lock(&m_cancelledLock);
        if (m_complete || m_cancelled)
            return;
        if (event == HTTPStream::HasBytesAvailable)
            handleBytesAvailable();
        else if (event == HTTPStream::ErrorOccurred)
            handleStreamError();
        else if (event == HTTPStream::EndEncountered)
            handleStreamComplete();
        performThrottling();
    }
    bool redirect = false;
    bool authentication = false;
    {
        QMutexLocker lock(&m_cancelledLock);
        redirect = m_downloadComplete && m_needsRedirect;
        authentication = m_downloadComplete && m_authenticationNeeded != 0;
    }
    if (redirect)
        performRedirect();
    else if (authentication)
        handleAuthenticationChallenge();
}

void HTTPRequest::updateStatus()
{
    checkRequestStatus();
    QMutexLocker lock(&m_cancelledLock);
    if (!m_inProgress)
        m_statusTimer.reset();
}

void HTTPRequest::checkRequestStatus()
{
    QMutexLocker lock(&m_cancelledLock);
    if (m_cancelled || m_complete)
        return;
    performThrottling();
    const bool pastDeadline = isPastDeadline();
    if (pastDeadline || shouldTimeOut()) {
        if (!pastDeadline && m_numberOfTimesToRetryOnTimeout > m_retryCount) {
            updatePartialDownloadSize();
            if (m_partialDownloadSize > 0)
                m_request->setHeader("Range",
                                     "bytes=" + QByteArray::number(m_partialDownloadSize) + '-');
            ++m_retryCount;
            unscheduleReadStream();
            lock.unlock();
            startRequest();
            return;
        }
        failWithError(HTTPRequestError::timedOut());
        cancelLoad();
        m_complete = true;
        return;
    }
    if (m_readStream && m_postLength > 0) {
        m_lastBytesSent = m_totalBytesSent;
        m_totalBytesSent = m_readStream->requestBodyBytesWritten();
        if (m_totalBytesSent > m_lastBytesSent) {
            m_lastActivityTime = Clock::now();
            BandwidthThrottle::shared().incrementBandwidthUsedInLastSecond(m_totalBytesSent -
                                                                           m_lastBytesSent);
        }
        // What the socket took at once at the first check is the send buffer, not progress.
        if (m_uploadBufferSize == 0 && m_totalBytesSent > 0 && m_totalBytesSent != m_postLength) {
            m_uploadBufferSize = m_totalBytesSent;
            incrementUploadSizeBy(-qint64(m_uploadBufferSize));
        }
    }
    updateProgressIndicators();
}

bool HTTPRequest::isPastDeadline() const
{
    return m_totalTimeOutSeconds > 0 && m_startTime &&
           std::chrono::duration<double>(Clock::now() - *m_startTime).count() >
               m_totalTimeOutSeconds;
}

bool HTTPRequest::shouldTimeOut() const
{
    if (!m_readStream || !m_readStreamIsScheduled || !m_lastActivityTime || m_timeOutSeconds <= 0)
        return false;
    const double idle = std::chrono::duration<double>(Clock::now() - *m_lastActivityTime).count();
    if (idle <= m_timeOutSeconds)
        return false;
    if (m_postLength == 0 || (m_uploadBufferSize > 0 && m_totalBytesSent > m_uploadBufferSize))
        return true;
    return idle > 1.5 * m_timeOutSeconds;
}

void HTTPRequest::performThrottling()
{
    QMutexLocker lock(&m_cancelledLock);
    if (!m_readStream)
        return;
    const std::optional<bool> run = BandwidthThrottle::shared().shouldStreamRun();
    if (!run)
        return;
    if (*run && !m_readStreamIsScheduled)
        scheduleReadStream();
    else if (!*run && m_readStreamIsScheduled)
        unscheduleReadStream();
}

void HTTPRequest::scheduleReadStream()
{
    if (!m_readStream || m_readStreamIsScheduled)
        return;
    ConnectionPool::shared().incrementRunningRequests();
    m_lastActivityTime = Clock::now();
    m_readStream->schedule();
    m_readStreamIsScheduled = true;
}

void HTTPRequest::unscheduleReadStream()
{
    if (!m_readStream || !m_readStreamIsScheduled)
        return;
    ConnectionPool::shared().decrementRunningRequests();
    m_readStream->unschedule();
    m_readStreamIsScheduled = false;
}

void HTTPRequest::destroyReadStream()
{
    if (!m_readStream)
        return;
    m_readStream->clearClient();
    if (m_readStreamIsScheduled) {
        ConnectionPool::shared().decrementRunningRequests();
        m_readStreamIsScheduled = false;
    }
    // A socket whose response ended cleanly is already back in the idle table; any other
    // would carry unread bytes into the next exchange, so it is closed. So is an idle one the
    // response said not to keep.
    m_readStream->close();
    m_readStream.reset();
    if (!m_connectionCanBeReused && m_connectionInfo)
        ConnectionTable::instance().forget(m_connectionInfo->id);
}

void HTTPRequest::cancelLoad()
{
    destroyReadStream();
    if (m_rawResponseData) {
        m_rawResponseData.reset();
        m_inflatedResponseData.reset();
    } else if (!m_temporaryFileDownloadPath.isEmpty()) {
        m_fileDownloadOutputStream.reset();
        if (!m_allowResumeForFileDownloads)
            removeTemporaryDownloadFile();
    }
    if (m_authenticationNeeded == 0 && m_didCreateTemporaryPostDataFile) {
        removePostDataFile();
        m_didCreateTemporaryPostDataFile = false;
    }
    m_responseHeaders.reset();
}

void HTTPRequest::removeTemporaryDownloadFile()
{
    const QString path = m_temporaryFileDownloadPath;
    m_temporaryFileDownloadPath.clear();
    if (!path.isEmpty() && QFile::exists(path) && !QFile::remove(path))
        failWithError(HTTPRequestError::withText(
            HTTPRequestError::FileManagement, tr("Failed to delete file at path '%1'").arg(path)));
}

void HTTPRequest::removePostDataFile()
{
    for (QString *path : {&m_postBodyFilePath, &m_compressedPostBodyFilePath}) {
        const QString doomed = *path;
        path->clear();
        if (!doomed.isEmpty() && QFile::exists(doomed) && !QFile::remove(doomed))
            failWithError(
                HTTPRequestError::withText(HTTPRequestError::FileManagement,
                                           tr("Failed to delete file at path '%1'").arg(doomed)));
    }
}

void HTTPRequest::markAsFinished()
{
    const auto keep = self();
    const bool wasFinished = m_finished;
    m_inProgress = false;
    m_statusTimer.reset();
    m_finished = true;
    m_keepAlive.reset();
    if (!wasFinished)
        finish();
    if (m_syncState.exchange(SyncDone, std::memory_order_acq_rel) == SyncCallerWaits) {
        NetworkThread::expectPostSoon();
        m_syncState.notify_all();
    }
}

// Callbacks on the main thread.

void HTTPRequest::requestStarted()
{
    if (m_error.isNull() && m_mainRequest.expired())
        notify([](const HTTPRequest &r) { return r.m_didStartSelector; },
               [](const HTTPRequest &) { return QByteArray("requestStarted"); });
}

void HTTPRequest::requestReceivedResponseHeaders()
{
    if (m_error.isNull() && m_mainRequest.expired())
        notify([](const HTTPRequest &r) { return r.m_didReceiveResponseHeadersSelector; },
               [](const HTTPRequest &) { return QByteArray("requestReceivedResponseHeaders"); });
}

void HTTPRequest::requestFinished()
{
    if (m_error.isNull() && m_mainRequest.expired())
        notify([](const HTTPRequest &r) { return r.m_didFinishSelector; },
               [](const HTTPRequest &) { return QByteArray("requestFinished"); });
}

void HTTPRequest::reportFailure()
{
    notify([](const HTTPRequest &r) { return r.m_didFailSelector; },
           [](const HTTPRequest &) { return QByteArray("requestFailed"); });
}

void HTTPRequest::notify(SelectorSlot delegateSelector, SelectorSlot queueSelector)
{
    callSelectorOnMainThread(delegateSelector, Target::Delegate);
    callSelectorOnMainThread(queueSelector, Target::Queue);
}

void HTTPRequest::callSelectorOnMainThread(SelectorSlot selector, Target target)
{
    {
        QMutexLocker lock(&m_cancelledLock);
        const QPointer<QObject> &receiver = target == Target::Delegate ? m_delegate : m_queue;
        if (!receiver || selector(*this).isEmpty())
            return;
    }
    // The slots are read again on delivery: a delegate or selector cleared meanwhile gets
    // nothing.
    const auto deliver = [me = self(), selector, target] {
        QPointer<QObject> receiver;
        QByteArray name;
        {
            QMutexLocker lock(&me->m_cancelledLock);
            receiver = target == Target::Delegate ? me->m_delegate : me->m_queue;
            name = selector(*me);
        }
        if (receiver)
            SelectorCall::invoke(receiver.data(), name, me.get());
    };
    if (MainThread::isCurrent())
        deliver();
    else
        MainThread::post(deliver);
}

// Results.

bool HTTPRequest::isResponseCompressed() const
{
    const auto encoding = responseHeader(QStringLiteral("Content-Encoding"));
    return encoding && encoding->contains(QLatin1String("gzip"));
}

std::optional<QString> HTTPRequest::responseHeader(const QString &name) const
{
    QMutexLocker lock(&m_cancelledLock);
    if (!m_responseHeaders)
        return std::nullopt;
    const auto it = m_responseHeaders->find(
        QString::fromLatin1(HTTPResponseHead::canonicalName(name.toLatin1())));
    if (it == m_responseHeaders->end())
        return std::nullopt;
    return *it;
}

QByteArray HTTPRequest::responseData() const
{
    return uncompressedResponseData().value_or(QByteArray());
}

std::optional<QByteArray> HTTPRequest::uncompressedResponseData() const
{
    QMutexLocker lock(&m_cancelledLock);
    if (!m_rawResponseData || !isResponseCompressed())
        return m_rawResponseData;
    inflateResponseData();
    return m_inflatedResponseData;
}

bool HTTPRequest::inflateResponseData() const
{
    if (!m_haveInflatedResponseData) {
        m_haveInflatedResponseData = true;
        bool tooLarge = false;
        m_inflatedResponseData = Gzip::uncompressZippedData(
            m_rawResponseData.value_or(QByteArray()),
            m_responseSizeLimit > 0 ? qsizetype(m_responseSizeLimit)
                                    : std::numeric_limits<qsizetype>::max(),
            &tooLarge);
        return !tooLarge;
    }
    return true;
}

QString HTTPRequest::responseString() const
{
    const QByteArray data = responseData();
    if (data.isNull())
        return {};
    return TextEncoding::decode(data, responseEncoding()).value_or(QString());
}
