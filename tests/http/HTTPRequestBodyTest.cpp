#include "http/CookieStorage.h"
#include "http/Gzip.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"

#include "OversizedReplies.h"
#include "RequestRecorder.h"
#include "ResumableDownload.h"
#include "common/TestSupport.h"
#include "fakes/http/FakeHttpServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

void run(const std::shared_ptr<HTTPRequest> &request, RequestRecorder &recorder)
{
    request->setDelegate(&recorder);
    request->start();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return recorder.ended(); }, 10000));
    TestSupport::processEventsFor(20);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(HTTPRequestBodyTest, FileDownloadsLandAtTheirDestination)
{
    FakeHttpServer server;
    const QByteArray text = QByteArray("1\n00:00:01,000 --> 00:00:02,000\nHello\n\n").repeated(500);
    server.setReply("/plain", FakeReply::ok(text));
    server.setReply(
        "/gzip", FakeReply::ok(*Gzip::compressData(text)).withHeader("Content-Encoding", "gzip"));
    QTemporaryDir folder;
    for (const char *path : {"/plain", "/gzip"}) {
        const QString destination = folder.filePath(QString::fromLatin1(path).mid(1) + ".srt");
        QFile old(destination);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("previous");
        old.close();
        RequestRecorder recorder;
        auto request = HTTPRequest::requestWithURL(server.url(path));
        request->setDownloadDestinationPath(destination);
        run(request, recorder);
        EXPECT_EQ(recorder.calls.last(), "finished") << path;
        EXPECT_EQ(readFile(destination), text) << path;
        EXPECT_TRUE(request->temporaryFileDownloadPath().isEmpty()) << path;
    }
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 2);
}

TEST(HTTPRequestBodyTest, FailedDownloadsSayWhyAndLeaveTheOldFileAlone)
{
    FakeHttpServer server;
    const QByteArray whole = QByteArray("0123456789abcdef").repeated(256 * 1024);
    server.setReply("/big", FakeReply::ok(whole));
    server.setReply(
        "/packed",
        FakeReply::ok(*Gzip::compressData(whole)).withHeader("Content-Encoding", "gzip"));
    QTemporaryDir folder;
    const QString destination = folder.filePath("movie.srt");
    ASSERT_TRUE(TestSupport::writeFile(destination, "the subtitle that was there"));
    const QString partial = folder.filePath("partial");

    // Writes that stop short, a temporary file that cannot even be made, and an inflated body
    // that does not fit.
    const QList<std::tuple<const char *, QString, QString>> cases = {
        {"/big", partial, "Failed to write file at path '" + partial + "': File too large"},
        {"/big", folder.filePath("no/partial"),
         "Failed to write file at path '" + folder.filePath("no/partial") +
             "': No such file or directory"},
        {"/packed", partial,
         "Decompression of " + partial + " failed with code -1: File too large"},
    };
    for (const auto &[path, temporary, description] : cases) {
        RequestRecorder recorder;
        auto request = HTTPRequest::requestWithURL(server.url(path));
        request->setDownloadDestinationPath(destination);
        request->setTemporaryFileDownloadPath(temporary);
        TestSupport::withFileSizeLimit(1024 * 1024, [&] { run(request, recorder); });
        EXPECT_EQ(recorder.calls.last(), "failed") << qPrintable(description);
        EXPECT_EQ(recorder.lastError.code(), HTTPRequestError::FileManagement);
        EXPECT_EQ(recorder.lastError.localizedDescription(), description);
        EXPECT_EQ(TestSupport::fileContents(destination), "the subtitle that was there");
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"movie.srt"});
    }
}

TEST(HTTPRequestBodyTest, FileDownloadsStopAtTheirSizeLimit)
{
    FakeHttpServer server;
    serveOversizedReplies(server);
    QTemporaryDir folder;
    const QString destination = folder.filePath("movie.srt");
    ASSERT_TRUE(TestSupport::writeFile(destination, "the subtitle that was there"));
    const QString partial = folder.filePath("partial");

    const QString tooLarge = "The response is larger than 1048576 bytes";
    const QList<std::pair<const char *, QString>> cases = {
        {"/endless", tooLarge},
        {"/chunked", tooLarge},
        {"/announced", tooLarge},
        {"/bomb", "Decompression of " + partial + " failed: larger than 1048576 bytes"},
    };
    for (const auto &[path, description] : cases) {
        // Not even a part kept for resuming outlives the failure.
        ASSERT_TRUE(writePartialDownload(partial, "part"));
        RequestRecorder recorder;
        auto request = HTTPRequest::requestWithURL(server.url(path));
        request->setDownloadDestinationPath(destination);
        request->setTemporaryFileDownloadPath(partial);
        request->setAllowResumeForFileDownloads(true);
        request->setDownloadSizeLimit(1 << 20);
        run(request, recorder);
        EXPECT_EQ(recorder.calls.last(), "failed") << path;
        EXPECT_EQ(recorder.lastError.localizedDescription(), description) << path;
        EXPECT_LE(request->totalBytesRead(), quint64(2 << 20)) << path;
        EXPECT_EQ(TestSupport::fileContents(destination), "the subtitle that was there");
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"movie.srt"})
            << path;
    }

    // Up to the limit all is well.
    RequestRecorder whole;
    auto fits = HTTPRequest::requestWithURL(server.url("/announced"));
    fits->setDownloadDestinationPath(destination);
    fits->setDownloadSizeLimit(AnnouncedSize);
    run(fits, whole);
    EXPECT_EQ(whole.calls.last(), "finished");
    EXPECT_EQ(QFileInfo(destination).size(), AnnouncedSize);
}

TEST(HTTPRequestBodyTest, ResumedDownloadsAppendOnlyWhenTheServerHonoursTheRange)
{
    FakeHttpServer server;
    const QByteArray whole = "0123456789abcdefghij";
    server.setHandler([&](const RecordedRequest &request) { return rangedReply(request, whole); });
    QTemporaryDir folder;
    for (const char *path : {"/ranged", "/ignores-range"}) {
        const QString partial = folder.filePath("partial");
        ASSERT_TRUE(writePartialDownload(partial, whole.left(8)));
        RequestRecorder recorder;
        auto request = HTTPRequest::requestWithURL(server.url(path));
        request->setDownloadDestinationPath(folder.filePath("complete"));
        request->setTemporaryFileDownloadPath(partial);
        request->setAllowResumeForFileDownloads(true);
        run(request, recorder);
        EXPECT_EQ(server.lastRequest().header("Range"), "bytes=8-") << path;
        EXPECT_EQ(recorder.calls.last(), "finished") << path;
        EXPECT_EQ(readFile(folder.filePath("complete")), whole) << path;
    }
}

TEST(HTTPRequestBodyTest, BrokenCompressedDownloadKeepsTheOldFile)
{
    FakeHttpServer server;
    const QByteArray packed = *Gzip::compressData(QByteArray("subtitle text ").repeated(1000));
    server.setReply(
        "/broken",
        FakeReply::ok(packed.left(packed.size() / 2)).withHeader("Content-Encoding", "gzip"));
    QTemporaryDir folder;
    const QString destination = folder.filePath("movie.srt");
    QFile old(destination);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("the subtitle that was there");
    old.close();
    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(server.url("/broken"));
    request->setDownloadDestinationPath(destination);
    run(request, recorder);
    EXPECT_EQ(recorder.calls.last(), "failed");
    EXPECT_EQ(recorder.count("finished"), 0);
    EXPECT_EQ(recorder.lastError.code(), HTTPRequestError::FileManagement);
    EXPECT_TRUE(recorder.lastError.localizedDescription().startsWith("Decompression of "));
    EXPECT_TRUE(recorder.lastError.localizedDescription().endsWith(" failed with code -3"));
    EXPECT_EQ(readFile(destination), "the subtitle that was there");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"movie.srt"});
}

TEST(HTTPRequestBodyTest, BodiesStreamedFromDiskFollowRedirectRules)
{
    FakeHttpServer server;
    server.setReply("/see-other", FakeReply::redirect(303, "/result"));
    server.setReply("/temporary", FakeReply::redirect(307, "/result"));
    server.setReply("/result", FakeReply::ok("done"));
    const QByteArray body = QByteArray("upload ").repeated(20000);

    RequestRecorder seeOther;
    auto first = HTTPRequest::requestWithURL(server.url("/see-other"));
    first->setShouldStreamPostDataFromDisk(true);
    first->appendPostData(body);
    const QString firstFile = first->postBodyFilePath();
    run(first, seeOther);
    EXPECT_EQ(seeOther.lastBody, "done");
    QList<RecordedRequest> sent = server.requests();
    ASSERT_EQ(sent.size(), 2);
    EXPECT_EQ(sent[0].body, body);
    EXPECT_EQ(sent[1].method, "GET");
    EXPECT_TRUE(sent[1].body.isEmpty());
    EXPECT_TRUE(sent[1].header("Content-Length").isNull());
    EXPECT_FALSE(QFile::exists(firstFile));

    // The engine's body file must outlive the first hop when the redirect keeps the body.
    RequestRecorder temporary;
    auto second = HTTPRequest::requestWithURL(server.url("/temporary"));
    second->setShouldStreamPostDataFromDisk(true);
    second->appendPostData(body);
    const QString secondFile = second->postBodyFilePath();
    run(second, temporary);
    EXPECT_EQ(temporary.lastBody, "done");
    sent = server.requests();
    ASSERT_EQ(sent.size(), 4);
    EXPECT_EQ(sent[3].method, "POST");
    EXPECT_EQ(sent[3].body, body);
    EXPECT_FALSE(QFile::exists(secondFile));
}

TEST(HTTPRequestBodyTest, BodyFileProblemsStopTheRequestBeforeSending)
{
    FakeHttpServer server;
    QTemporaryDir folder;
    RequestRecorder missing;
    auto request = HTTPRequest::requestWithURL(server.url("/"));
    request->setPostBodyFilePath(folder.filePath("gone"));
    run(request, missing);
    EXPECT_EQ(missing.calls, QList<QByteArray>{"failed"});
    EXPECT_EQ(missing.lastError.code(), HTTPRequestError::FileManagement);
    EXPECT_EQ(missing.lastError.localizedDescription(),
              "Failed to get attributes for file at path '" + folder.filePath("gone") + "'");

    RequestRecorder compressing;
    auto compressed = HTTPRequest::requestWithURL(server.url("/"));
    compressed->setPostBodyFilePath(folder.filePath("gone"));
    compressed->setShouldCompressRequestBody(true);
    run(compressed, compressing);
    EXPECT_EQ(compressing.lastError.code(), HTTPRequestError::FileManagement);
    EXPECT_TRUE(compressing.lastError.localizedDescription().startsWith("Compression of "));
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST(HTTPRequestBodyTest, CompressedCopiesOfTheCallersBodyFileAreRemoved)
{
    FakeHttpServer server;
    server.setReply("/upload", FakeReply::ok("ok"));
    QTemporaryDir folder;
    const QString body = folder.filePath("body");
    ASSERT_TRUE(TestSupport::writeFile(body, "compress me"));
    const QDir temporary(QDir::tempPath());
    const QStringList before = temporary.entryList(QDir::Files);
    for (const QString &path : {body, folder.filePath("gone")}) {
        RequestRecorder recorder;
        auto request = HTTPRequest::requestWithURL(server.url("/upload"));
        request->setPostBodyFilePath(path);
        request->setShouldCompressRequestBody(true);
        run(request, recorder);
    }
    EXPECT_EQ(temporary.entryList(QDir::Files), before);
    EXPECT_TRUE(QFile::exists(body));
}

TEST(HTTPRequestBodyTest, CompressedBodiesAreSentGzipped)
{
    FakeHttpServer server;
    server.setReply("/upload", FakeReply::ok("ok"));
    const QByteArray body = QByteArray("compress me ").repeated(1000);
    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(server.url("/upload"));
    request->setShouldCompressRequestBody(true);
    request->appendPostData(body);
    run(request, recorder);
    const RecordedRequest sent = server.lastRequest();
    EXPECT_EQ(sent.header("Content-Encoding"), "gzip");
    EXPECT_EQ(Gzip::uncompressZippedData(sent.body).value_or(""), body);
    EXPECT_EQ(sent.header("Content-Length").toLongLong(), sent.body.size());
}

TEST(HTTPRequestBodyTest, CopiesGetABodyFileOfTheirOwn)
{
    FakeHttpServer server;
    server.setReply("/upload", FakeReply::ok("ok"));
    auto source = HTTPRequest::requestWithURL(server.url("/upload"));
    source->setShouldStreamPostDataFromDisk(true);
    source->appendPostData("body on disk");
    const auto duplicate = source->copy();
    EXPECT_NE(duplicate->postBodyFilePath(), source->postBodyFilePath());
    RequestRecorder sourceRecorder;
    run(source, sourceRecorder);
    RequestRecorder duplicateRecorder;
    run(duplicate, duplicateRecorder);
    EXPECT_EQ(duplicateRecorder.calls.last(), "finished");
    EXPECT_EQ(server.lastRequest().body, "body on disk");
    EXPECT_FALSE(QFile::exists(duplicate->postBodyFilePath()));
}

TEST(HTTPRequestBodyTest, TemporaryRedirectToAnotherHostTakesNoCookiesAlong)
{
    // Cookies other tests left for 127.0.0.1 would be sent too.
    for (const QNetworkCookie &cookie : CookieStorage::shared().allCookies())
        CookieStorage::shared().deleteCookie(cookie);
    FakeHttpServer origin;
    FakeHttpServer elsewhere;
    origin.setReply("/login", FakeReply::ok("in").withHeader("Set-Cookie", "secret=1"));
    QUrl target = elsewhere.url("/landing");
    target.setHost("localhost");
    origin.setReply("/go", FakeReply::redirect(307, target.toEncoded()));
    elsewhere.setReply("/landing", FakeReply::ok("landed"));
    RequestRecorder login;
    run(HTTPRequest::requestWithURL(origin.url("/login")), login);
    RequestRecorder recorder;
    run(HTTPRequest::requestWithURL(origin.url("/go")), recorder);
    EXPECT_EQ(recorder.lastBody, "landed");
    EXPECT_EQ(origin.lastRequest().header("Cookie"), "secret=1");
    EXPECT_TRUE(elsewhere.lastRequest().header("Cookie").isNull());
    HTTPRequest::clearSession();
}

TEST(HTTPRequestBodyTest, ExplicitProxyCarriesTheRequest)
{
    FakeHttpServer proxy;
    proxy.setReply("/through", FakeReply::ok("via proxy"));
    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(QUrl("http://subtitles.invalid/through"));
    request->setProxyHost("127.0.0.1");
    request->setProxyPort(proxy.port());
    run(request, recorder);
    EXPECT_EQ(recorder.lastBody, "via proxy");
    EXPECT_EQ(proxy.lastRequest().target, "http://subtitles.invalid/through");
}

} // namespace
