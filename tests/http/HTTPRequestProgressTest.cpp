#include "http/HTTPRequest.h"
#include "http/NetworkThread.h"

#include "RequestRecorder.h"
#include "ResumableDownload.h"
#include "common/TestSupport.h"
#include "fakes/http/FakeHttpServer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <numeric>

namespace {

// Notes every progress message, as a queue or a progress bar would get them.
class ProgressListener : public QObject
{
    Q_OBJECT

public:
    QList<double> values;
    QList<double> maxValues;
    QList<qint64> received;
    QList<qint64> sent;
    qint64 downloadSize = 0;
    qint64 uploadSize = 0;

    static qint64 sum(const QList<qint64> &amounts)
    {
        return std::accumulate(amounts.cbegin(), amounts.cend(), qint64(0));
    }
    bool fractionsAreSane() const
    {
        for (qsizetype i = 0; i < values.size(); ++i)
            if (!std::isfinite(values[i]) || values[i] < 0 || values[i] > 1 ||
                (i > 0 && values[i] < values[i - 1] && values[i] != 0))
                return false;
        return true;
    }

public Q_SLOTS:
    void setDoubleValue(double value) { values.append(value); }
    void setMaxValue(double value) { maxValues.append(value); }
    void requestDidReceiveBytes(HTTPRequest *, qint64 amount) { received.append(amount); }
    void requestDidSendBytes(HTTPRequest *, qint64 amount) { sent.append(amount); }
    void requestIncrementDownloadSizeBy(HTTPRequest *, qint64 amount) { downloadSize += amount; }
    void requestIncrementUploadSizeBy(HTTPRequest *, qint64 amount) { uploadSize += amount; }
};

void run(const std::shared_ptr<HTTPRequest> &request, RequestRecorder &recorder)
{
    request->setDelegate(&recorder);
    request->start();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return recorder.ended(); }, 10000));
    TestSupport::processEventsFor(50);
}

} // namespace

TEST(HTTPRequestProgressTest, DownloadOfKnownLengthIsReportedByteForByte)
{
    FakeHttpServer server;
    FakeReply slow = FakeReply::ok(QByteArray(64 * 1024, 'x'));
    slow.bodyRepeat = 16;
    server.setReply("/big", slow);

    ProgressListener queue;
    ProgressListener bar;
    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(server.url("/big"));
    request->setAllowCompressedResponse(false);
    request->setQueue(&queue);
    request->setDownloadProgressDelegate(&bar);
    TestSupport::processEventsFor(10);
    EXPECT_EQ(bar.maxValues, QList<double>{1.0});
    run(request, recorder);

    const qint64 size = 16 * 64 * 1024;
    EXPECT_EQ(ProgressListener::sum(queue.received), size);
    EXPECT_EQ(ProgressListener::sum(bar.received), size);
    EXPECT_EQ(queue.downloadSize, size);
    ASSERT_FALSE(bar.values.isEmpty());
    EXPECT_EQ(bar.values.first(), 0.0);
    EXPECT_EQ(bar.values.last(), 1.0);
    EXPECT_TRUE(bar.fractionsAreSane());
    EXPECT_TRUE(queue.values.isEmpty()) << "fractions go to progress delegates only";
}

TEST(HTTPRequestProgressTest, DownloadOfUnknownLengthCountsOneUnitAtTheEnd)
{
    FakeHttpServer server;
    FakeReply closing = FakeReply::ok("no length given");
    closing.framing = FakeReply::Framing::Close;
    server.setReply("/close", closing);

    ProgressListener queue;
    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(server.url("/close"));
    request->setQueue(&queue);
    request->setDownloadProgressDelegate(&queue);
    run(request, recorder);
    EXPECT_EQ(recorder.lastBody, "no length given");
    EXPECT_FALSE(request->showAccurateProgress());
    // Queue and delegate are the same object here: each message arrives twice.
    EXPECT_EQ(queue.received, (QList<qint64>{1, 1}));
    EXPECT_EQ(queue.downloadSize, 2);
    EXPECT_EQ(queue.values.last(), 1.0);
    EXPECT_TRUE(queue.fractionsAreSane());
}

TEST(HTTPRequestProgressTest, UploadCountsAddUpToTheSizeAnnounced)
{
    FakeHttpServer server;
    server.setReply("/post", FakeReply::ok("taken"));

    ProgressListener queue;
    ProgressListener bar;
    RequestRecorder recorder;
    auto request = HTTPRequest::requestWithURL(server.url("/post"));
    request->appendPostData(QByteArray(3 * 1024 * 1024, 'u'));
    request->setQueue(&queue);
    request->setUploadProgressDelegate(&bar);
    run(request, recorder);
    EXPECT_EQ(recorder.lastBody, "taken");
    EXPECT_EQ(server.lastRequest().body.size(), 3 * 1024 * 1024);
    EXPECT_GT(queue.uploadSize, 0);
    EXPECT_EQ(ProgressListener::sum(queue.sent), queue.uploadSize);
    EXPECT_EQ(ProgressListener::sum(bar.sent), bar.uploadSize);
    ASSERT_FALSE(bar.values.isEmpty());
    EXPECT_EQ(bar.values.last(), 1.0);
    EXPECT_TRUE(bar.fractionsAreSane());
}

TEST(HTTPRequestProgressTest, ListenersGoneBeforeDeliveryHearNothing)
{
    FakeHttpServer server;
    server.setReply("/a", FakeReply::ok(QByteArray(4096, 'a')));

    ProgressListener removed;
    auto *destroyed = new ProgressListener;
    auto request = HTTPRequest::requestWithURL(server.url("/a"));
    request->setDownloadProgressDelegate(&removed);
    request->setUploadProgressDelegate(destroyed);
    request->setQueue(destroyed);
    TestSupport::processEventsFor(10);
    request->start();
    // The main thread stays busy while the request runs, so every message waits.
    for (int waited = 0; !request->isFinished() && waited < 10000; waited += 5)
        QThread::msleep(5);
    ASSERT_TRUE(request->isFinished());
    request->setDownloadProgressDelegate(nullptr);
    delete destroyed;
    std::weak_ptr<HTTPRequest> weak = request;
    request.reset();
    TestSupport::processEventsFor(100);
    EXPECT_EQ(removed.maxValues, QList<double>{1.0});
    EXPECT_TRUE(removed.values.isEmpty());
    EXPECT_TRUE(removed.received.isEmpty());
    EXPECT_TRUE(weak.expired());
}

TEST(HTTPRequestProgressTest, WithNobodyListeningNothingWaitsOnTheMainThread)
{
    FakeHttpServer server;
    server.setReply("/quiet", FakeReply::ok("quiet"));
    auto request = HTTPRequest::requestWithURL(server.url("/quiet"));
    request->startSynchronous();
    ASSERT_EQ(request->responseString(), "quiet");
    // Once the network thread has left the request, only a message queued for the main
    // thread, which runs no events here, could still hold it.
    QSemaphore networkThreadPassed;
    NetworkThread::post([&] { networkThreadPassed.release(); });
    networkThreadPassed.acquire();
    const std::weak_ptr<HTTPRequest> weak = request;
    request.reset();
    EXPECT_TRUE(weak.expired());
}

TEST(HTTPRequestProgressTest, ResumedDownloadsCountFromTheResumePointAndStayConsistent)
{
    FakeHttpServer server;
    const QByteArray whole = "0123456789abcdefghij";
    server.setHandler([&](const RecordedRequest &request) { return rangedReply(request, whole); });
    QTemporaryDir folder;
    for (const char *path : {"/ranged", "/ignores-range"}) {
        const QString partial = folder.filePath("partial");
        ASSERT_TRUE(writePartialDownload(partial, whole.left(8)));
        ProgressListener queue;
        ProgressListener bar;
        RequestRecorder recorder;
        auto request = HTTPRequest::requestWithURL(server.url(path));
        request->setDownloadDestinationPath(folder.filePath("complete"));
        request->setTemporaryFileDownloadPath(partial);
        request->setAllowResumeForFileDownloads(true);
        request->setQueue(&queue);
        request->setDownloadProgressDelegate(&bar);
        run(request, recorder);
        EXPECT_EQ(recorder.calls.last(), "finished") << path;
        EXPECT_EQ(queue.downloadSize, whole.size()) << path;
        EXPECT_EQ(ProgressListener::sum(queue.received), whole.size()) << path;
        ASSERT_FALSE(bar.values.isEmpty()) << path;
        EXPECT_EQ(bar.values.last(), 1.0) << path;
        EXPECT_TRUE(bar.fractionsAreSane()) << path;
        if (QByteArray(path) == "/ranged") {
            EXPECT_GE(bar.values.first(), 0.4) << "the part already there counts";
        }
    }
}

TEST(HTTPRequestProgressTest, AHeadPreRequestSizesItsMainRequest)
{
    FakeHttpServer server;
    server.setReply("/sized", FakeReply::ok(QByteArray(1000, 's')));
    // 20 bytes is what an empty body takes gzipped: no real size.
    server.setReply("/gzip-sized", FakeReply::ok(QByteArray(20, 'z')));
    for (const char *path : {"/sized", "/gzip-sized"}) {
        const bool known = QByteArray(path) == "/sized";
        ProgressListener queue;
        auto main = HTTPRequest::requestWithURL(server.url(path));
        main->setQueue(&queue);
        const auto head = main->HEADRequest();
        head->start();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return head->isFinished(); })) << path;
        TestSupport::processEventsFor(50);
        EXPECT_EQ(queue.downloadSize, known ? 1000 : 1) << path;
        EXPECT_EQ(main->contentLength(), known ? 1000u : 0u) << path;
        EXPECT_EQ(main->showAccurateProgress(), known) << path;
        EXPECT_TRUE(queue.received.isEmpty()) << "a pre-request reports no bytes of its own";
    }
}

#include "HTTPRequestProgressTest.moc"
