#pragma once

#include "http/HTTPRoute.h"
#include "http/SessionCredentialStore.h"
#include "platform/Error.h"
#include "platform/Operation.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QNetworkCookie>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class BodySource;
class HTTPCacheDelegate;
class HTTPAuthentication;
class HTTPMessage;
class HTTPResponseHead;
class HTTPStream;
class OperationQueue;
class QFile;
class QTimer;
struct ConnectionEntry;

// One HTTP or HTTPS exchange as an asynchronous operation. It runs on the engine's network
// thread and tells its delegate (and queue) on the main thread, by method names the caller
// chooses: a delegate method "name(HTTPRequest*)" is called when it exists, and skipped
// silently otherwise. Properties may be set from any thread; those set while the request
// runs take effect at its next pass (retry or redirect) at most.
class HTTPRequest : public Operation
{
    Q_OBJECT

public:
    static inline const QString RunLoopModeDefault = QStringLiteral("DefaultRunLoopMode");
    static inline const QString SynchronousRunLoopMode = QStringLiteral("HTTPRequestRunLoopMode");

    // A client certificate with its private key, sent when the server asks for one.
    struct ClientIdentity
    {
        QSslCertificate certificate;
        QSslKey privateKey;
    };

    static std::shared_ptr<HTTPRequest> requestWithURL(const QUrl &url);
    static std::shared_ptr<HTTPRequest>
    requestWithURL(const QUrl &url, const std::shared_ptr<HTTPCacheDelegate> &cache,
                   int cachePolicy = 0);
    explicit HTTPRequest(const QUrl &url);
    ~HTTPRequest() override;

    // A new request for the same URL carrying the caller's settings (not results or state).
    virtual std::shared_ptr<HTTPRequest> copy() const;
    // A HEAD request for the same URL made for this one, with its connection settings.
    std::shared_ptr<HTTPRequest> HEADRequest() const;

    // Class-wide settings and state.
    static double defaultTimeOutSeconds();
    static void setDefaultTimeOutSeconds(double seconds);
    static std::shared_ptr<HTTPCacheDelegate> defaultCache();
    static void setDefaultCache(const std::shared_ptr<HTTPCacheDelegate> &cache);
    static OperationQueue &sharedQueue();
    static bool isNetworkInUse();
    static void setShouldUpdateNetworkActivityIndicator(bool update);
    // Empties the session credentials, the session cookies and the default cache's session
    // store (which may throw, as HTTPDownloadCache says).
    static void clearSession();

    // Starting. start() (from Operation) runs the request on the network thread.
    void startAsynchronous();
    // Runs the request on the network thread while the caller waits, so that nothing else
    // runs on the caller's thread meanwhile. Delegate calls reach the main thread as usual,
    // so a caller on the main thread gets them after this returns.
    void startSynchronous();
    void cancel() override;
    bool isAsynchronous() const override { return true; }

    // Body building.
    // Runs once, before the first send; subclasses that build bodies extend it. False when it
    // failed (the request then holds the error).
    virtual bool buildPostBody();
    void setupPostBody();
    void appendPostData(const QByteArray &data);
    // False when the file could not be read whole.
    bool appendPostDataFromFile(const QString &path);
    void addRequestHeader(const QString &name, const QString &value);

    // Results.
    // The body, inflated when it came gzipped; empty when there is none or it did not inflate.
    QByteArray responseData() const;
    // The same, with nullopt for no body or a body that did not inflate. Inflated once only.
    std::optional<QByteArray> uncompressedResponseData() const;
    QString responseString() const;
    bool isResponseCompressed() const;
    std::optional<QString> responseHeader(const QString &name) const;

    // Request set-up.
    QUrl url() const { return locked(m_url); }
    void setURL(const QUrl &url) { setLocked(m_url, url); }
    QUrl originalURL() const { return locked(m_originalURL); }
    QString requestMethod() const { return locked(m_requestMethod); }
    void setRequestMethod(const QString &method) { setLocked(m_requestMethod, method); }
    std::optional<QMap<QString, QString>> requestHeaders() const
    {
        return locked(m_requestHeaders);
    }
    void setRequestHeaders(std::optional<QMap<QString, QString>> headers)
    {
        setLocked(m_requestHeaders, std::move(headers));
    }
    QList<QNetworkCookie> requestCookies() const { return locked(m_requestCookies); }
    void setRequestCookies(const QList<QNetworkCookie> &cookies)
    {
        setLocked(m_requestCookies, cookies);
    }
    std::shared_ptr<QByteArray> postBody() const { return locked(m_postBody); }
    void setPostBody(std::shared_ptr<QByteArray> body) { setLocked(m_postBody, std::move(body)); }
    QString postBodyFilePath() const { return locked(m_postBodyFilePath); }
    void setPostBodyFilePath(const QString &path) { setLocked(m_postBodyFilePath, path); }
    bool shouldStreamPostDataFromDisk() const { return locked(m_shouldStreamPostDataFromDisk); }
    void setShouldStreamPostDataFromDisk(bool value)
    {
        setLocked(m_shouldStreamPostDataFromDisk, value);
    }
    quint64 postLength() const { return locked(m_postLength); }
    void setPostLength(quint64 length) { setLocked(m_postLength, length); }
    bool shouldCompressRequestBody() const { return locked(m_shouldCompressRequestBody); }
    void setShouldCompressRequestBody(bool value) { setLocked(m_shouldCompressRequestBody, value); }
    bool useHTTPVersionOne() const { return locked(m_useHTTPVersionOne); }
    void setUseHTTPVersionOne(bool value) { setLocked(m_useHTTPVersionOne, value); }
    double timeOutSeconds() const { return locked(m_timeOutSeconds); }
    void setTimeOutSeconds(double seconds) { setLocked(m_timeOutSeconds, seconds); }
    // The longest the whole request may take from its start, redirects and retries included;
    // 0 or less for no limit. Past it the request fails as timed out.
    double totalTimeOutSeconds() const { return locked(m_totalTimeOutSeconds); }
    void setTotalTimeOutSeconds(double seconds) { setLocked(m_totalTimeOutSeconds, seconds); }
    int numberOfTimesToRetryOnTimeout() const { return locked(m_numberOfTimesToRetryOnTimeout); }
    void setNumberOfTimesToRetryOnTimeout(int times)
    {
        setLocked(m_numberOfTimesToRetryOnTimeout, times);
    }
    bool shouldRedirect() const { return locked(m_shouldRedirect); }
    void setShouldRedirect(bool value) { setLocked(m_shouldRedirect, value); }
    bool shouldUseRFC2616RedirectBehaviour() const
    {
        return locked(m_shouldUseRFC2616RedirectBehaviour);
    }
    void setShouldUseRFC2616RedirectBehaviour(bool value)
    {
        setLocked(m_shouldUseRFC2616RedirectBehaviour, value);
    }
    bool validatesSecureCertificate() const { return locked(m_validatesSecureCertificate); }
    void setValidatesSecureCertificate(bool value)
    {
        setLocked(m_validatesSecureCertificate, value);
    }
    QList<QSslCertificate> clientCertificates() const { return locked(m_clientCertificates); }
    void setClientCertificates(const QList<QSslCertificate> &certificates)
    {
        setLocked(m_clientCertificates, certificates);
    }
    std::optional<ClientIdentity> clientCertificateIdentity() const
    {
        return locked(m_clientIdentity);
    }
    void setClientCertificateIdentity(std::optional<ClientIdentity> identity)
    {
        setLocked(m_clientIdentity, std::move(identity));
    }
    bool shouldAttemptPersistentConnection() const
    {
        return locked(m_shouldAttemptPersistentConnection);
    }
    void setShouldAttemptPersistentConnection(bool value)
    {
        setLocked(m_shouldAttemptPersistentConnection, value);
    }
    double persistentConnectionTimeoutSeconds() const
    {
        return locked(m_persistentConnectionTimeoutSeconds);
    }
    void setPersistentConnectionTimeoutSeconds(double seconds)
    {
        setLocked(m_persistentConnectionTimeoutSeconds, seconds);
    }
    bool allowCompressedResponse() const { return locked(m_allowCompressedResponse); }
    void setAllowCompressedResponse(bool value) { setLocked(m_allowCompressedResponse, value); }
    bool allowResumeForFileDownloads() const { return locked(m_allowResumeForFileDownloads); }
    void setAllowResumeForFileDownloads(bool value)
    {
        setLocked(m_allowResumeForFileDownloads, value);
    }
    QString downloadDestinationPath() const { return locked(m_downloadDestinationPath); }
    void setDownloadDestinationPath(const QString &path)
    {
        setLocked(m_downloadDestinationPath, path);
    }
    QString temporaryFileDownloadPath() const { return locked(m_temporaryFileDownloadPath); }
    void setTemporaryFileDownloadPath(const QString &path)
    {
        setLocked(m_temporaryFileDownloadPath, path);
    }
    // IANA names; "ISO-8859-1" by default.
    QByteArray defaultResponseEncoding() const { return locked(m_defaultResponseEncoding); }
    void setDefaultResponseEncoding(const QByteArray &encoding)
    {
        setLocked(m_defaultResponseEncoding, encoding);
    }
    // The largest body kept in memory, before and after inflating; 0 or less for no limit.
    // A larger one fails the request. Bodies given to the delegate are not limited.
    static constexpr qint64 DefaultResponseSizeLimit = 64 * 1024 * 1024;
    qint64 responseSizeLimit() const { return locked(m_responseSizeLimit); }
    void setResponseSizeLimit(qint64 bytes) { setLocked(m_responseSizeLimit, bytes); }
    // The same for bodies written to downloadDestinationPath, before and after inflating. A
    // larger one fails the request, leaves the destination as it was and removes the partial
    // file, a resumable one too.
    static constexpr qint64 DefaultDownloadSizeLimit = DefaultResponseSizeLimit;
    qint64 downloadSizeLimit() const { return locked(m_downloadSizeLimit); }
    void setDownloadSizeLimit(qint64 bytes) { setLocked(m_downloadSizeLimit, bytes); }
    QVariantMap userInfo() const { return locked(m_userInfo); }
    void setUserInfo(const QVariantMap &info) { setLocked(m_userInfo, info); }
    QString runLoopMode() const { return locked(m_runLoopMode); }
    void setRunLoopMode(const QString &mode) { setLocked(m_runLoopMode, mode); }

    // Delegation.
    QObject *delegate() const { return locked(m_delegate).data(); }
    void setDelegate(QObject *delegate);
    QObject *queue() const { return locked(m_queue).data(); }
    void setQueue(QObject *queue);
    QObject *uploadProgressDelegate() const { return locked(m_uploadProgressDelegate).data(); }
    void setUploadProgressDelegate(QObject *receiver);
    QObject *downloadProgressDelegate() const { return locked(m_downloadProgressDelegate).data(); }
    void setDownloadProgressDelegate(QObject *receiver);
    // Method names; the delegate's method takes (HTTPRequest*), the data one
    // (HTTPRequest*, QByteArray).
    QByteArray didStartSelector() const { return locked(m_didStartSelector); }
    void setDidStartSelector(const QByteArray &name) { setLocked(m_didStartSelector, name); }
    QByteArray didReceiveResponseHeadersSelector() const
    {
        return locked(m_didReceiveResponseHeadersSelector);
    }
    void setDidReceiveResponseHeadersSelector(const QByteArray &name)
    {
        setLocked(m_didReceiveResponseHeadersSelector, name);
    }
    QByteArray didFinishSelector() const { return locked(m_didFinishSelector); }
    void setDidFinishSelector(const QByteArray &name) { setLocked(m_didFinishSelector, name); }
    QByteArray didFailSelector() const { return locked(m_didFailSelector); }
    void setDidFailSelector(const QByteArray &name) { setLocked(m_didFailSelector, name); }
    QByteArray didReceiveDataSelector() const { return locked(m_didReceiveDataSelector); }
    void setDidReceiveDataSelector(const QByteArray &name);
    bool showAccurateProgress() const { return locked(m_showAccurateProgress); }
    void setShowAccurateProgress(bool value) { setLocked(m_showAccurateProgress, value); }
    bool shouldResetDownloadProgress() const { return locked(m_shouldResetDownloadProgress); }
    void setShouldResetDownloadProgress(bool value)
    {
        setLocked(m_shouldResetDownloadProgress, value);
    }
    bool shouldResetUploadProgress() const { return locked(m_shouldResetUploadProgress); }
    void setShouldResetUploadProgress(bool value) { setLocked(m_shouldResetUploadProgress, value); }

    // Authentication, proxies and persistence.
    QString username() const { return locked(m_username); }
    void setUsername(const QString &value) { setLocked(m_username, value); }
    QString password() const { return locked(m_password); }
    void setPassword(const QString &value) { setLocked(m_password, value); }
    QString domain() const { return locked(m_domain); }
    void setDomain(const QString &value) { setLocked(m_domain, value); }
    QString proxyUsername() const { return locked(m_proxyUsername); }
    void setProxyUsername(const QString &value) { setLocked(m_proxyUsername, value); }
    QString proxyPassword() const { return locked(m_proxyPassword); }
    void setProxyPassword(const QString &value) { setLocked(m_proxyPassword, value); }
    QString proxyDomain() const { return locked(m_proxyDomain); }
    void setProxyDomain(const QString &value) { setLocked(m_proxyDomain, value); }
    QString proxyHost() const { return locked(m_proxyHost); }
    void setProxyHost(const QString &value) { setLocked(m_proxyHost, value); }
    int proxyPort() const { return locked(m_proxyPort); }
    void setProxyPort(int value) { setLocked(m_proxyPort, value); }
    // "HTTP", "HTTPS" or "SOCKS"; HTTP when a host is set without a kind.
    QString proxyType() const { return locked(m_proxyType); }
    void setProxyType(const QString &value) { setLocked(m_proxyType, value); }
    QUrl PACurl() const { return locked(m_PACurl); }
    void setPACurl(const QUrl &value) { setLocked(m_PACurl, value); }
    bool useKeychainPersistence() const { return locked(m_useKeychainPersistence); }
    void setUseKeychainPersistence(bool value) { setLocked(m_useKeychainPersistence, value); }
    bool useSessionPersistence() const { return locked(m_useSessionPersistence); }
    void setUseSessionPersistence(bool value) { setLocked(m_useSessionPersistence, value); }
    bool useCookiePersistence() const { return locked(m_useCookiePersistence); }
    void setUseCookiePersistence(bool value) { setLocked(m_useCookiePersistence, value); }
    bool shouldPresentAuthenticationDialog() const
    {
        return locked(m_shouldPresentAuthenticationDialog);
    }
    void setShouldPresentAuthenticationDialog(bool value)
    {
        setLocked(m_shouldPresentAuthenticationDialog, value);
    }
    bool shouldPresentProxyAuthenticationDialog() const
    {
        return locked(m_shouldPresentProxyAuthenticationDialog);
    }
    void setShouldPresentProxyAuthenticationDialog(bool value)
    {
        setLocked(m_shouldPresentProxyAuthenticationDialog, value);
    }
    bool shouldPresentCredentialsBeforeChallenge() const
    {
        return locked(m_shouldPresentCredentialsBeforeChallenge);
    }
    void setShouldPresentCredentialsBeforeChallenge(bool value)
    {
        setLocked(m_shouldPresentCredentialsBeforeChallenge, value);
    }
    std::shared_ptr<const Credentials> requestCredentials() const
    {
        return locked(m_requestCredentials);
    }
    std::shared_ptr<const Credentials> proxyCredentials() const
    {
        return locked(m_proxyCredentials);
    }
    QString authenticationScheme() const { return locked(m_authenticationScheme); }
    QString proxyAuthenticationScheme() const { return locked(m_proxyAuthenticationScheme); }
    QString authenticationRealm() const { return locked(m_authenticationRealm); }
    QString proxyAuthenticationRealm() const { return locked(m_proxyAuthenticationRealm); }
    int authenticationNeeded() const { return locked(m_authenticationNeeded); }
    int authenticationRetryCount() const { return locked(m_authenticationRetryCount); }
    int proxyAuthenticationRetryCount() const { return locked(m_proxyAuthenticationRetryCount); }
    std::shared_ptr<HTTPRequest> mainRequest() const { return locked(m_mainRequest).lock(); }
    // A delegate (or queue) asked through authenticationNeededForRequest(HTTPRequest*) or
    // proxyAuthenticationNeededForRequest(HTTPRequest*) answers with one of these, from any
    // thread, after setting the user name and password (or the proxy's).
    void retryUsingSuppliedCredentials();
    void cancelAuthentication();

    // Response cache.
    std::shared_ptr<HTTPCacheDelegate> downloadCache() const
    {
        return locked(m_downloadCache).lock();
    }
    void setDownloadCache(const std::shared_ptr<HTTPCacheDelegate> &cache)
    {
        setLocked(m_downloadCache, std::weak_ptr<HTTPCacheDelegate>(cache));
    }
    int cachePolicy() const { return locked(m_cachePolicy); }
    void setCachePolicy(int policy) { setLocked(m_cachePolicy, policy); }
    int cacheStoragePolicy() const { return locked(m_cacheStoragePolicy); }
    void setCacheStoragePolicy(int policy) { setLocked(m_cacheStoragePolicy, policy); }
    double secondsToCache() const { return locked(m_secondsToCache); }
    void setSecondsToCache(double seconds) { setLocked(m_secondsToCache, seconds); }
    bool didUseCachedResponse() const { return locked(m_didUseCachedResponse); }

    // Results.
    int responseStatusCode() const { return locked(m_responseStatusCode); }
    QString responseStatusMessage() const { return locked(m_responseStatusMessage); }
    // By canonical field name ("Content-Type", "Etag").
    std::optional<QMap<QString, QString>> responseHeaders() const
    {
        return locked(m_responseHeaders);
    }
    QList<QNetworkCookie> responseCookies() const { return locked(m_responseCookies); }
    std::optional<QByteArray> rawResponseData() const { return locked(m_rawResponseData); }
    QByteArray responseEncoding() const { return locked(m_responseEncoding); }
    quint64 contentLength() const { return locked(m_contentLength); }
    quint64 partialDownloadSize() const { return locked(m_partialDownloadSize); }
    quint64 totalBytesRead() const { return locked(m_totalBytesRead); }
    quint64 totalBytesSent() const { return locked(m_totalBytesSent); }
    Error error() const { return locked(m_error); }
    bool complete() const { return locked(m_complete); }
    bool inProgress() const { return locked(m_inProgress); }
    bool downloadComplete() const { return locked(m_downloadComplete); }
    int redirectCount() const { return locked(m_redirectCount); }
    int retryCount() const { return locked(m_retryCount); }
    bool connectionCanBeReused() const { return locked(m_connectionCanBeReused); }
    std::optional<quint32> requestID() const { return locked(m_requestID); }
    // The id of the connection-pool entry in use, 0 without one.
    int connectionID() const;
    bool haveBuiltPostBody() const { return locked(m_haveBuiltPostBody); }
    bool haveBuiltRequestHeaders() const { return locked(m_haveBuiltRequestHeaders); }
    bool didCreateTemporaryPostDataFile() const { return locked(m_didCreateTemporaryPostDataFile); }

protected:
    void main() override;
    // Fails the request once; later failures and failures after a cancel are ignored.
    void failWithError(const Error &error);
    // Gives a new request this one's settings, as copy() does.
    void copySettingsTo(HTTPRequest *made) const;
    // Forgets a built body, so that the next start builds it again.
    void discardPostBody();

private:
    // The caller holds the lock.
    void copyConnectionSettingsTo(HTTPRequest *made) const;

    enum class Target
    {
        Delegate,
        Queue
    };
    using SelectorSlot = QByteArray (*)(const HTTPRequest &);

    template <typename T> T locked(const T &field) const
    {
        QMutexLocker lock(&m_cancelledLock);
        return field;
    }
    template <typename T> void setLocked(T &field, T value)
    {
        QMutexLocker lock(&m_cancelledLock);
        field = std::move(value);
    }
    std::shared_ptr<HTTPRequest> self() const;

    // Life cycle (network thread).
    void runMain();
    void buildRequestHeaders();
    void applyCookieHeader();
    void updatePartialDownloadSize();
    void updateStatus();
    void startRequest();
    // The resets at the start of every pass: first run, retry, redirect or credentials.
    void resetForPass();
    // Null when the body cannot be read.
    std::unique_ptr<BodySource> openBodySource();
    // Takes a pooled connection, schedules the stream and opens it; false when it cannot open.
    bool openReadStream(const std::shared_ptr<HTTPStream> &stream);
    void startStatusTimer();
    void handleNetworkEvent(int event);
    void checkRequestStatus();
    bool shouldTimeOut() const;
    bool isPastDeadline() const;
    void cancelOnRequestThread();
    void cancelLoad();
    void markAsFinished();
    void scheduleReadStream();
    void unscheduleReadStream();
    void destroyReadStream();
    void performThrottling();
    void removeTemporaryDownloadFile();
    void removePostDataFile();
    TlsSettings tlsSettings() const;
    void applyProxy(HTTPStream &stream) const;
    std::shared_ptr<HTTPStream> attachConnection(const std::shared_ptr<HTTPStream> &stream);

    // Response (network thread).
    void readResponseHeaders();
    void storeResponseCookies(const HTTPResponseHead &head);
    bool isFollowedRedirect() const;
    void prepareRedirect(const QByteArray &location);
    // What a 303 (or a plain 301 or 302) leaves of the request.
    void becomePlainGet();
    void readContentLength(const HTTPResponseHead &head);
    void countUnknownDownloadSize();
    void readKeepAlive(const HTTPResponseHead &head);
    void parseStringEncodingFromHeaders();
    void handleBytesAvailable();
    // Where the body's bytes go.
    enum class BodySink
    {
        Discard,
        Delegate,
        File,
        Memory
    };
    BodySink bodySink() const;
    // How much one event reads, by the announced length.
    qint64 readLength() const;
    void readIntoResponseData(qint64 size);
    void deliverDataToDelegate(const QByteArray &bytes);
    void writeToDownloadFile(const char *data, qint64 size);
    bool openDownloadFile();
    void countBytesRead(quint64 count);
    void handleStreamComplete();
    Error completeFileDownload();
    // Inflates the downloaded file into its destination.
    Error inflateDownload();
    // A write to the download file failed: the request fails and the partial file goes.
    void failFileDownload();
    void failDownloadTooLarge();
    // Fails the request and drops its connection and what it received so far.
    void failAndStop(const Error &error);
    bool exceedsResponseSizeLimit(quint64 size) const;
    bool exceedsDownloadSizeLimit(quint64 size) const;
    // Inflates a gzipped in-memory body once; false when it inflates past the size limit.
    bool inflateResponseData() const;
    void handleStreamError();
    bool retryUsingNewConnection();
    // Answers the request from its cache; false when there is nothing usable stored.
    bool useDataFromCache();
    void removeConnectionEntry();
    void performRedirect();
    // Before a redirect to another origin.
    void forgetCredentials();
    void failAuthentication();

    // Authentication (network thread).
    struct AuthenticationFields
    {
        QString *username;
        QString *password;
        QString *domain;
        std::shared_ptr<HTTPAuthentication> *authentication;
        std::shared_ptr<const Credentials> *credentials;
        QString *scheme;
        QString *realm;
        int *retryCount;
    };
    AuthenticationFields authenticationFields(bool proxy);
    void applyAuthorizationHeader();
    void addBasicAuthenticationHeader(const QString &username, const QString &password);
    void storePresentedBasicCredentials();
    void handleAuthenticationChallenge();
    void attemptToApplyCredentialsAndResume();
    void resumeAuthentication(bool proxy);
    // From the challenge's head; false when there is none to make (the request has failed).
    bool makeAuthentication(bool proxy);
    void answerChallenge(bool proxy);
    void answerWithEarlierCredentials(bool proxy,
                                      const std::shared_ptr<const Credentials> &earlier);
    void answerRejection(bool proxy, bool badCredentials);
    static Error applyFailure(bool proxy);
    std::shared_ptr<const Credentials> findCredentials(bool proxy);
    bool applyCredentials(bool proxy, const std::shared_ptr<const Credentials> &credentials);
    std::optional<SessionCredentialEntry> sessionEntry(bool proxy) const;
    void removeSessionEntry(bool proxy, const std::shared_ptr<const Credentials> &credentials);
    bool askDelegateForCredentials(bool proxy);
    static int authenticationAnswers(QObject *receiver);
    // Progress (network thread); listeners hear of it on the main thread.
    enum class Listener
    {
        Queue,
        Upload,
        Download
    };
    void updateProgressIndicators();
    void updateUploadProgress();
    void updateDownloadProgress();
    void resetProgress();
    void incrementDownloadSizeBy(qint64 amount);
    void incrementUploadSizeBy(qint64 amount);
    void removeUploadProgressSoFar();
    // name(HTTPRequest*, qint64) to the queue, then to the upload or download delegate; name
    // is a literal, read when the call is delivered.
    void tellListeners(Listener delegate, const char *name, qint64 amount);
    void updateProgressIndicator(Listener listener, qint64 progress, qint64 total);
    QPointer<QObject> listenerSlot(Listener listener) const;
    template <typename Call> void deliverToListener(Listener listener, Call call);

    // Proxy choice, off the network thread: false when the request failed for want of one.
    bool chooseProxy();

    // Callbacks.
    void requestStarted();
    void requestReceivedResponseHeaders();
    void requestFinished();
    void reportFailure();
    // The delegate's selector first, then the queue's.
    void notify(SelectorSlot delegateSelector, SelectorSlot queueSelector);
    void callSelectorOnMainThread(SelectorSlot selector, Target target);
    void sendMaxValue(QObject *receiver);

    // The standard library's: QRecursiveMutex locks inside Qt, out of the thread sanitizer's sight.
    mutable std::recursive_mutex m_cancelledLock;

    // Set-up.
    QUrl m_url;
    QUrl m_originalURL;
    QString m_requestMethod = QStringLiteral("GET");
    std::optional<QMap<QString, QString>> m_requestHeaders;
    QList<QNetworkCookie> m_requestCookies;
    std::shared_ptr<QByteArray> m_postBody;
    std::optional<QByteArray> m_compressedPostBody;
    QString m_postBodyFilePath;
    QString m_compressedPostBodyFilePath;
    std::unique_ptr<QFile> m_postBodyWriteStream;
    bool m_shouldStreamPostDataFromDisk = false;
    bool m_didCreateTemporaryPostDataFile = false;
    quint64 m_postLength = 0;
    bool m_shouldCompressRequestBody = false;
    bool m_haveBuiltPostBody = false;
    bool m_haveBuiltRequestHeaders = false;
    bool m_useHTTPVersionOne = false;
    double m_timeOutSeconds;
    double m_totalTimeOutSeconds = 0;
    int m_numberOfTimesToRetryOnTimeout = 0;
    bool m_shouldRedirect = true;
    bool m_shouldUseRFC2616RedirectBehaviour = false;
    bool m_validatesSecureCertificate = true;
    QList<QSslCertificate> m_clientCertificates;
    std::optional<ClientIdentity> m_clientIdentity;
    bool m_shouldAttemptPersistentConnection = true;
    double m_persistentConnectionTimeoutSeconds = 60.0;
    bool m_allowCompressedResponse = true;
    bool m_allowResumeForFileDownloads = false;
    QString m_downloadDestinationPath;
    QString m_temporaryFileDownloadPath;
    QByteArray m_defaultResponseEncoding;
    QVariantMap m_userInfo;
    qint64 m_responseSizeLimit = DefaultResponseSizeLimit;
    qint64 m_downloadSizeLimit = DefaultDownloadSizeLimit;
    QString m_runLoopMode = RunLoopModeDefault;

    // Delegation.
    QPointer<QObject> m_delegate;
    QPointer<QObject> m_queue;
    QPointer<QObject> m_uploadProgressDelegate;
    QPointer<QObject> m_downloadProgressDelegate;
    QByteArray m_didStartSelector = "requestStarted";
    QByteArray m_didReceiveResponseHeadersSelector = "requestReceivedResponseHeaders";
    QByteArray m_didFinishSelector = "requestFinished";
    QByteArray m_didFailSelector = "requestFailed";
    QByteArray m_didReceiveDataSelector = "requestDidReceiveData";
    // Known when the delegate is set, so that the network thread never looks into an object
    // that the main thread may be destroying.
    bool m_delegateTakesData = false;
    bool m_showAccurateProgress = true;
    bool m_shouldResetDownloadProgress = true;
    bool m_shouldResetUploadProgress = true;

    // Authentication and proxies.
    QString m_username;
    QString m_password;
    QString m_domain;
    QString m_proxyUsername;
    QString m_proxyPassword;
    QString m_proxyDomain;
    QString m_proxyHost;
    int m_proxyPort = 0;
    QString m_proxyType;
    QUrl m_PACurl;
    bool m_useKeychainPersistence = false;
    bool m_useSessionPersistence = true;
    bool m_useCookiePersistence = true;
    bool m_shouldPresentAuthenticationDialog = false;
    bool m_shouldPresentProxyAuthenticationDialog = true;
    bool m_shouldPresentCredentialsBeforeChallenge = true;
    std::shared_ptr<const Credentials> m_requestCredentials;
    std::shared_ptr<const Credentials> m_proxyCredentials;
    QString m_authenticationScheme;
    QString m_proxyAuthenticationScheme;
    QString m_authenticationRealm;
    QString m_proxyAuthenticationRealm;
    int m_authenticationNeeded = 0;
    int m_authenticationRetryCount = 0;
    int m_proxyAuthenticationRetryCount = 0;
    std::shared_ptr<HTTPAuthentication> m_requestAuthentication;
    std::shared_ptr<HTTPAuthentication> m_proxyAuthentication;
    // The last challenge's head, kept for the delegate's answer after the stream is gone.
    std::unique_ptr<HTTPResponseHead> m_challengeHead;
    // Which questions the delegate and the queue answer (bit 1 server, bit 2 proxy), known
    // when they are set so that the network thread never looks into them.
    int m_delegateAuthenticationAnswers = 0;
    int m_queueAuthenticationAnswers = 0;
    bool m_waitingForCredentials = false;
    std::weak_ptr<HTTPRequest> m_mainRequest;

    // Cache.
    std::weak_ptr<HTTPCacheDelegate> m_downloadCache;
    int m_cachePolicy = 0;
    int m_cacheStoragePolicy = 0;
    double m_secondsToCache = 0;
    bool m_didUseCachedResponse = false;

    // Results.
    int m_responseStatusCode = 0;
    QString m_responseStatusMessage;
    std::optional<QMap<QString, QString>> m_responseHeaders;
    QList<QNetworkCookie> m_responseCookies;
    std::optional<QByteArray> m_rawResponseData;
    // The inflated body, made once from m_rawResponseData.
    mutable std::optional<QByteArray> m_inflatedResponseData;
    mutable bool m_haveInflatedResponseData = false;
    QByteArray m_responseEncoding;
    quint64 m_contentLength = 0;
    quint64 m_partialDownloadSize = 0;
    quint64 m_totalBytesRead = 0;
    quint64 m_totalBytesSent = 0;
    Error m_error;
    bool m_errorReported = false;
    bool m_complete = false;
    bool m_inProgress = false;
    bool m_finished = false;
    bool m_cancelled = false;
    bool m_downloadComplete = false;

    // Engine state.
    std::unique_ptr<HTTPMessage> m_request;
    std::shared_ptr<HTTPStream> m_readStream;
    bool m_readStreamIsScheduled = false;
    std::unique_ptr<QTimer, void (*)(QTimer *)> m_statusTimer;
    std::optional<std::chrono::steady_clock::time_point> m_lastActivityTime;
    std::optional<std::chrono::steady_clock::time_point> m_startTime;
    quint64 m_uploadBufferSize = 0;
    quint64 m_lastBytesRead = 0;
    quint64 m_lastBytesSent = 0;
    bool m_updatedProgress = false;
    std::unique_ptr<QFile> m_fileDownloadOutputStream;
    bool m_needsRedirect = false;
    int m_redirectCount = 0;
    int m_retryCount = 0;
    bool m_connectionCanBeReused = false;
    std::shared_ptr<ConnectionEntry> m_connectionInfo;
    std::optional<quint32> m_requestID;
    std::shared_ptr<HTTPRequest> m_keepAlive;
    QByteArray m_readBuffer;

    // Synchronous runs wait on this word until the request finishes: one futex call wakes the
    // caller, with no mutex for it to take once awake.
    enum SyncState : int
    {
        NoSyncCaller,
        SyncCallerWaits,
        SyncDone
    };
    std::atomic<int> m_syncState{NoSyncCaller};
};
