#include "http/HTTPDownloadCache.h"
#include "http/Gzip.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"

#include "RequestRecorder.h"
#include "common/TestSupport.h"
#include "fakes/http/FakeHttpServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

// A cache in a folder of its own, on a clock the test moves.
struct CacheFixture
{
    QTemporaryDir folder;
    QDateTime now = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
    std::shared_ptr<HTTPDownloadCache> cache =
        std::make_shared<HTTPDownloadCache>([this] { return now; });

    CacheFixture() { cache->setStoragePath(folder.path()); }

    QString stored(const QString &store, const QString &url, const QString &extension) const
    {
        auto request = HTTPRequest::requestWithURL(QUrl(url));
        return QDir(folder.path())
            .filePath(store + '/' + HTTPDownloadCache::keyForRequest(*request) + '.' + extension);
    }
    QJsonObject storedHeaders(const QUrl &url) const
    {
        QFile file(stored(HTTPDownloadCache::SessionStore, url.toString(), "cachedheaders"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }
};

struct Exchange
{
    RequestRecorder recorder;
    std::shared_ptr<HTTPRequest> request;

    Exchange(const QUrl &url, const std::shared_ptr<HTTPDownloadCache> &cache, int policy,
             const std::function<void(HTTPRequest &)> &setUp = {})
        : request(HTTPRequest::requestWithURL(url, cache, policy))
    {
        request->setDelegate(&recorder);
        if (setUp)
            setUp(*request);
        request->start();
        EXPECT_TRUE(TestSupport::waitUntil([this] { return recorder.ended(); }, 10000));
        TestSupport::processEventsFor(20);
    }
};

FakeReply validated(const QByteArray &body, const QByteArray &etag)
{
    return FakeReply::ok(body)
        .withHeader("ETag", etag)
        .withHeader("Last-Modified", "Sun, 01 Mar 2026 10:00:00 GMT");
}

TEST(HTTPDownloadCacheTest, StoredResponseServedWithoutAskingTheServer)
{
    FakeHttpServer server;
    server.setReply("/sub", validated("subtitle", "\"v1\"").withHeader("Set-Cookie", "a=1"));
    CacheFixture fixture;

    Exchange first(server.url("/sub"), fixture.cache, 0);
    EXPECT_EQ(first.request->cachePolicy(), HTTPCacheDelegate::ReloadIfDifferentCachePolicy);
    EXPECT_FALSE(first.request->didUseCachedResponse());
    const QJsonObject headers = fixture.storedHeaders(server.url("/sub"));
    EXPECT_EQ(headers.value(HTTPDownloadCache::FetchDateHeader).toString(),
              "Sun, 01 Mar 2026 12:00:00 GMT");
    EXPECT_EQ(headers.value("Etag").toString(), "\"v1\"");

    Exchange second(server.url("/sub"), fixture.cache,
                    HTTPCacheDelegate::OnlyLoadIfNotCachedCachePolicy);
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(second.recorder.calls, (QList<QByteArray>{"finished"}));
    EXPECT_EQ(second.recorder.lastBody, "subtitle");
    EXPECT_EQ(second.recorder.lastStatus, 200);
    EXPECT_TRUE(second.request->didUseCachedResponse());
    EXPECT_EQ(second.request->contentLength(), 8u);
    EXPECT_EQ(second.request->totalBytesRead(), 8u);
    ASSERT_EQ(second.request->responseCookies().size(), 1);
    EXPECT_EQ(second.request->responseCookies().first().name(), "a");

    // Nothing stored yet: policy 3 asks the server.
    Exchange other(server.url("/sub?other"), fixture.cache,
                   HTTPCacheDelegate::OnlyLoadIfNotCachedCachePolicy);
    EXPECT_EQ(server.requests().size(), 2);
    EXPECT_FALSE(other.request->didUseCachedResponse());
}

TEST(HTTPDownloadCacheTest, RevalidationSendsValidatorsAndServesOnNotModified)
{
    FakeHttpServer server;
    QByteArray current = "\"v1\"";
    server.setHandler([&current](const RecordedRequest &request) {
        if (request.header("If-None-Match") == current) {
            FakeReply reply;
            reply.status = 304;
            reply.reason = "Not Modified";
            return reply;
        }
        return validated("version " + current, current).withHeader("Cache-Control", "max-age=60");
    });
    CacheFixture fixture;
    Exchange(server.url("/sub"), fixture.cache, 0);

    // Long past its max-age, the stored answer still stands when the server confirms it.
    fixture.now = fixture.now.addSecs(3600);
    Exchange confirmed(server.url("/sub"), fixture.cache, 0);
    const RecordedRequest sent = server.lastRequest();
    EXPECT_EQ(sent.header("If-None-Match"), "\"v1\"");
    EXPECT_EQ(sent.header("If-Modified-Since"), "Sun, 01 Mar 2026 10:00:00 GMT");
    EXPECT_TRUE(confirmed.request->didUseCachedResponse());
    EXPECT_EQ(confirmed.recorder.lastStatus, 200);
    EXPECT_EQ(confirmed.recorder.lastBody, "version \"v1\"");
    EXPECT_EQ(confirmed.recorder.count("finished"), 1);
    EXPECT_FALSE(HTTPRequest::isNetworkInUse());

    // A changed resource replaces the stored one, over the same kept-alive connection.
    current = "\"v2\"";
    Exchange changed(server.url("/sub"), fixture.cache, 0);
    EXPECT_EQ(server.lastRequest().connection, sent.connection);
    EXPECT_FALSE(changed.request->didUseCachedResponse());
    EXPECT_EQ(changed.recorder.lastBody, "version \"v2\"");
    Exchange again(server.url("/sub"), fixture.cache,
                   HTTPCacheDelegate::OnlyLoadIfNotCachedCachePolicy);
    EXPECT_EQ(again.recorder.lastBody, "version \"v2\"");
}

TEST(HTTPDownloadCacheTest, MatchingFullResponseIsAnsweredFromTheStoreAndItsSocketDropped)
{
    FakeHttpServer server;
    server.setReply("/sub", validated(QByteArray("x").repeated(4 << 20), "\"v1\""));
    CacheFixture fixture;
    Exchange(server.url("/sub"), fixture.cache, 0);
    QFile::remove(fixture.stored(HTTPDownloadCache::SessionStore, server.url("/sub").toString(),
                                 "cacheddata"));
    QFile data(fixture.stored(HTTPDownloadCache::SessionStore, server.url("/sub").toString(),
                              "cacheddata"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write("from the store");
    data.close();

    Exchange second(server.url("/sub"), fixture.cache, 0);
    EXPECT_TRUE(second.request->didUseCachedResponse());
    EXPECT_EQ(second.recorder.lastBody, "from the store");
    EXPECT_EQ(second.recorder.calls, (QList<QByteArray>{"started", "finished"}));
    EXPECT_FALSE(HTTPRequest::isNetworkInUse());
    // The unread rest of the body makes the socket useless for the next request.
    Exchange third(server.url("/sub"), fixture.cache, HTTPCacheDelegate::IgnoreCachePolicy);
    EXPECT_EQ(server.requests().last().connection, server.requests().first().connection + 1);
}

TEST(HTTPDownloadCacheTest, FailureFallsBackToTheStoredResponseButACancelDoesNot)
{
    FakeHttpServer server;
    server.setReply("/sub", FakeReply::ok("subtitle"));
    CacheFixture fixture;
    Exchange(server.url("/sub"), fixture.cache, 0);

    FakeReply broken;
    broken.closeWithoutAnswer = true;
    server.setReply("/sub", broken);
    Exchange fallback(server.url("/sub"), fixture.cache,
                      HTTPCacheDelegate::UseCacheIfLoadFailsCachePolicy);
    EXPECT_EQ(fallback.recorder.calls.last(), "finished");
    EXPECT_EQ(fallback.recorder.lastBody, "subtitle");
    EXPECT_TRUE(fallback.request->didUseCachedResponse());
    EXPECT_TRUE(fallback.request->error().isNull());

    FakeReply silent;
    silent.neverAnswer = true;
    server.setReply("/sub", silent);
    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(server.url("/sub"), fixture.cache,
                                               HTTPCacheDelegate::UseCacheIfLoadFailsCachePolicy);
    request->setDelegate(&recorder);
    request->start();
    TestSupport::processEventsFor(100);
    request->cancel();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.ended(); }));
    EXPECT_EQ(recorder.calls.last(), "failed");
    EXPECT_EQ(recorder.lastError.code(), HTTPRequestError::RequestCancelled);
}

TEST(HTTPDownloadCacheTest, ResponsesThatMustNotBeKept)
{
    FakeHttpServer server;
    FakeReply partial = FakeReply::ok("part");
    partial.status = 206;
    server.setReply("/partial", partial);
    server.setReply("/nostore",
                    FakeReply::ok("a").withHeader("Cache-Control", "private, no-store"));
    server.setReply("/nocache", FakeReply::ok("a").withHeader("Cache-Control", "No-Cache"));
    server.setReply("/pragma", FakeReply::ok("a").withHeader("Pragma", "no-cache"));
    server.setReply("/brokengzip",
                    FakeReply::ok("not gzip").withHeader("Content-Encoding", "gzip"));
    server.setReply("/fine", FakeReply::ok("a").withHeader("Cache-Control", "public, s-maxage=0"));
    CacheFixture fixture;

    const auto isStored = [&](const QString &path) {
        auto probe = HTTPRequest::requestWithURL(server.url(path));
        return !fixture.cache->pathToCachedResponseDataForRequest(*probe).isNull();
    };
    for (const char *path :
         {"/partial", "/missing", "/nostore", "/nocache", "/pragma", "/brokengzip", "/fine"}) {
        Exchange run(server.url(path), fixture.cache, 0);
        EXPECT_EQ(isStored(path), QByteArray(path) == "/fine") << path;
    }
    Exchange ignored(server.url("/partial?1"), fixture.cache, HTTPCacheDelegate::IgnoreCachePolicy);
    Exchange posted(server.url("/fine?post"), fixture.cache, 0,
                    [](HTTPRequest &request) { request.appendPostData("body"); });
    EXPECT_FALSE(isStored("/partial?1"));
    EXPECT_FALSE(isStored("/fine?post"));

    // The server's instructions can be overridden.
    fixture.cache->setShouldRespectCacheControlHeaders(false);
    Exchange overridden(server.url("/nostore"), fixture.cache, 0);
    EXPECT_TRUE(isStored("/nostore"));
}

TEST(HTTPDownloadCacheTest, CompressedResponsesAreStoredInflatedWithTheirRealLength)
{
    FakeHttpServer server;
    const QByteArray text = QByteArray("subtitle line\n").repeated(500);
    server.setReply(
        "/gzip", FakeReply::ok(*Gzip::compressData(text)).withHeader("Content-Encoding", "gzip"));
    CacheFixture fixture;
    Exchange(server.url("/gzip"), fixture.cache, 0,
             [](HTTPRequest &r) { r.setSecondsToCache(2.9); });
    const QJsonObject headers = fixture.storedHeaders(server.url("/gzip"));
    EXPECT_FALSE(headers.contains("Content-Encoding"));
    EXPECT_EQ(headers.value("Content-Length").toString(), QString::number(text.size()));
    EXPECT_EQ(headers.value("Cache-Control").toString(), "max-age=2");

    Exchange served(server.url("/gzip"), fixture.cache,
                    HTTPCacheDelegate::OnlyLoadIfNotCachedCachePolicy);
    EXPECT_EQ(served.recorder.lastBody, text);
    EXPECT_EQ(served.request->contentLength(), quint64(text.size()));
}

TEST(HTTPDownloadCacheTest, FileDownloadsAreCopiedInAndServedFromTheStore)
{
    FakeHttpServer server;
    server.setReply("/file", FakeReply::ok("file body"));
    CacheFixture fixture;
    QTemporaryDir downloads;
    const QString destination = downloads.filePath("sub.srt");
    Exchange(server.url("/file"), fixture.cache, 0,
             [&](HTTPRequest &r) { r.setDownloadDestinationPath(destination); });
    QFile::remove(destination);

    Exchange served(server.url("/file"), fixture.cache,
                    HTTPCacheDelegate::OnlyLoadIfNotCachedCachePolicy,
                    [&](HTTPRequest &r) { r.setDownloadDestinationPath(destination); });
    EXPECT_TRUE(served.request->didUseCachedResponse());
    QFile file(served.request->downloadDestinationPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "file body");
}

TEST(HTTPDownloadCacheTest, ABodyCutShortByAFullDiskIsNeverStored)
{
    FakeHttpServer server;
    const QByteArray body = QByteArray("subtitle line\n").repeated(300);
    server.setReply("/sub", FakeReply::ok(body));
    CacheFixture fixture;
    QTemporaryDir downloads;
    for (const QString &destination : {QString(), downloads.filePath("sub.srt")}) {
        Exchange fetched(server.url("/sub"), nullptr, 0,
                         [&](HTTPRequest &r) { r.setDownloadDestinationPath(destination); });
        TestSupport::withFileSizeLimit(
            1024, [&] { fixture.cache->storeResponseForRequest(*fetched.request, 0); });
        auto probe = HTTPRequest::requestWithURL(server.url("/sub"));
        EXPECT_EQ(fixture.cache->cachedResponseDataForRequest(*probe), std::nullopt)
            << destination.toStdString();
        EXPECT_EQ(QDir(fixture.folder.filePath(HTTPDownloadCache::SessionStore))
                      .entryList(QDir::Files | QDir::Hidden),
                  QStringList())
            << destination.toStdString();
    }
}

TEST(HTTPDownloadCacheTest, FreshnessFollowsExpiresMaxAgeAndValidators)
{
    FakeHttpServer server;
    server.setReply("/aged", FakeReply::ok("a"));
    server.setReply("/expires",
                    FakeReply::ok("a").withHeader("Expires", "Sun, 01 Mar 2026 12:30:00 GMT"));
    server.setReply("/etag-only", FakeReply::ok("a").withHeader("ETag", "\"v1\""));
    server.setReply("/garbage", FakeReply::ok("a").withHeader("Cache-Control", "max-age=soon"));
    server.setReply("/plain", FakeReply::ok("a"));
    CacheFixture fixture;
    Exchange(server.url("/aged"), fixture.cache, 0,
             [](HTTPRequest &r) { r.setSecondsToCache(60); });
    for (const char *path : {"/expires", "/etag-only", "/garbage", "/plain"})
        Exchange(server.url(path), fixture.cache, 0);

    const auto current = [&](const char *path) {
        auto fresh = HTTPRequest::requestWithURL(server.url(path));
        return fixture.cache->isCachedDataCurrentForRequest(*fresh);
    };
    EXPECT_TRUE(current("/plain"));
    EXPECT_TRUE(current("/garbage"));
    fixture.now = fixture.now.addSecs(59);
    EXPECT_FALSE(current("/garbage"));
    EXPECT_TRUE(current("/aged"));
    EXPECT_TRUE(current("/expires"));
    fixture.now = fixture.now.addSecs(2);
    EXPECT_FALSE(current("/aged"));
    fixture.now = fixture.now.addSecs(1800);
    EXPECT_FALSE(current("/expires"));
    EXPECT_TRUE(current("/plain"));
    EXPECT_FALSE(current("/never-stored"));

    // Against a full response both validators must match; a missing one never does.
    Exchange etagOnly(server.url("/etag-only"), fixture.cache,
                      HTTPCacheDelegate::IgnoreCachePolicy);
    EXPECT_FALSE(fixture.cache->isCachedDataCurrentForRequest(*etagOnly.request));
}

TEST(HTTPDownloadCacheTest, StoragePathFoldersAndClearing)
{
    QTemporaryDir root;
    HTTPDownloadCache cache;
    EXPECT_EQ(cache.defaultCachePolicy(), HTTPCacheDelegate::ReloadIfDifferentCachePolicy);
    cache.setDefaultCachePolicy(0);
    EXPECT_EQ(cache.defaultCachePolicy(), HTTPCacheDelegate::ReloadIfDifferentCachePolicy);

    QFile plain(root.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    try {
        cache.setStoragePath(root.filePath("plain"));
        ADD_FAILURE() << "a plain file is no cache folder";
    } catch (const Exception &exception) {
        EXPECT_EQ(exception.name(), HTTPDownloadCache::FileExistsAtCachePath);
        EXPECT_EQ(exception.reason(), "Cannot create a directory for the cache at '" +
                                          root.filePath("plain") +
                                          "', because a file already exists");
    }
    try {
        cache.setStoragePath(root.filePath("gone/cache"));
        ADD_FAILURE() << "parent folders are not made";
    } catch (const Exception &exception) {
        EXPECT_EQ(exception.name(), HTTPDownloadCache::FailedToCreateCacheDirectory);
    }

    const QString path = root.filePath("cache");
    cache.setStoragePath(path);
    const auto put = [&](const QString &store, const QString &name) {
        QFile file(QDir(path).filePath(store + '/' + name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    };
    for (const QString &store :
         {HTTPDownloadCache::SessionStore, HTTPDownloadCache::PermanentStore}) {
        put(store, "A.cacheddata");
        put(store, "A.cachedheaders");
        put(store, "notes.txt");
    }
    const auto exists = [&](const QString &store, const QString &name) {
        return QFile::exists(QDir(path).filePath(store + '/' + name));
    };
    cache.clearCachedResponsesForStoragePolicy(1);
    EXPECT_FALSE(exists(HTTPDownloadCache::PermanentStore, "A.cacheddata"));
    EXPECT_TRUE(exists(HTTPDownloadCache::PermanentStore, "notes.txt"));
    EXPECT_TRUE(exists(HTTPDownloadCache::SessionStore, "A.cacheddata"));

    // Moving away empties the session store left behind; the permanent one stays.
    put(HTTPDownloadCache::PermanentStore, "B.cacheddata");
    cache.setStoragePath(root.filePath("elsewhere"));
    EXPECT_FALSE(exists(HTTPDownloadCache::SessionStore, "A.cachedheaders"));
    EXPECT_TRUE(exists(HTTPDownloadCache::SessionStore, "notes.txt"));
    EXPECT_TRUE(exists(HTTPDownloadCache::PermanentStore, "B.cacheddata"));
}

TEST(HTTPDownloadCacheTest, KeysAreDigestsOfTheWholeURL)
{
    auto request = HTTPRequest::requestWithURL(QUrl("http://127.0.0.1:8/a?b=1"));
    EXPECT_EQ(HTTPDownloadCache::keyForRequest(*request), "62038E332A80F76903F871A195D2A3E5");
    auto other = HTTPRequest::requestWithURL(QUrl("http://127.0.0.1:8/a?b=2"));
    EXPECT_NE(HTTPDownloadCache::keyForRequest(*other), HTTPDownloadCache::keyForRequest(*request));

    // Spellings of one address (case of scheme and host, escaped unreserved characters) share
    // a key; anything that can name another resource does not.
    const auto key = [](const char *url) {
        return HTTPDownloadCache::keyForRequest(*HTTPRequest::requestWithURL(QUrl(url)));
    };
    EXPECT_EQ(key("HTTP://Films.Example/a%7Eb"), key("http://films.example/a~b"));
    for (const char *different : {"http://films.example/A~b", "http://films.example:80/a~b",
                                  "http://films.example/a~b?", "http://films.example/a%2Fb"})
        EXPECT_NE(key(different), key("http://films.example/a~b")) << different;
}

TEST(HTTPDownloadCacheTest, StoresAreSeparateAndOneAnswerNeverMixesThem)
{
    FakeHttpServer server;
    server.setReply("/sub", FakeReply::ok("session"));
    CacheFixture fixture;
    Exchange(server.url("/sub"), fixture.cache, 0);
    server.setReply("/sub", FakeReply::ok("permanent"));
    Exchange(server.url("/sub"), fixture.cache, HTTPCacheDelegate::IgnoreCachePolicy + 1,
             [](HTTPRequest &r) {
                 r.setCacheStoragePolicy(HTTPCacheDelegate::CachePermanentlyCacheStoragePolicy);
             });
    Exchange served(server.url("/sub"), fixture.cache,
                    HTTPCacheDelegate::OnlyLoadIfNotCachedCachePolicy);
    EXPECT_EQ(served.recorder.lastBody, "permanent");

    fixture.cache->clearCachedResponsesForStoragePolicy(0);
    Exchange stillThere(server.url("/sub"), fixture.cache,
                        HTTPCacheDelegate::OnlyLoadIfNotCachedCachePolicy);
    EXPECT_TRUE(stillThere.request->didUseCachedResponse());
    HTTPRequest::setDefaultCache(fixture.cache);
    HTTPRequest::clearSession();
    HTTPRequest::setDefaultCache(nullptr);
    EXPECT_TRUE(QFile::exists(fixture.stored(HTTPDownloadCache::PermanentStore,
                                             server.url("/sub").toString(), "cacheddata")));
}

} // namespace
