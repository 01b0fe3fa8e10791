#include "http/HTTPNetworkQueue.h"
#include "http/HTTPRequest.h"
#include "http/HTTPRequestError.h"
#include "http/SelectorCall.h"

#include "platform/Exception.h"

#include "common/TestSupport.h"
#include "fakes/http/FakeHttpServer.h"

#include <gtest/gtest.h>

#include <QObject>

namespace {

// Notes what a queue tells its delegate, in order.
class QueueRecorder : public QObject
{
    Q_OBJECT

public:
    QStringList calls;
    QList<Error> errors;
    int queueEnds = 0;

    int count(const QString &call) const { return int(calls.count(call)); }

public Q_SLOTS:
    void started(HTTPRequest *request) { calls.append("started " + request->url().path()); }
    void headers(HTTPRequest *request) { calls.append("headers " + request->url().path()); }
    void finished(HTTPRequest *request) { calls.append("finished " + request->url().path()); }
    void failed(HTTPRequest *request)
    {
        calls.append("failed " + request->url().path());
        errors.append(request->error());
    }
    void allDone(HTTPNetworkQueue *queue)
    {
        calls.append("queue done");
        ++queueEnds;
        EXPECT_EQ(queue->requestsCount(), 0);
    }
};

// A delegate that also answers credential questions.
class AnsweringRecorder : public QueueRecorder
{
    Q_OBJECT

public Q_SLOTS:
    void authenticationNeededForRequest(HTTPRequest *) { calls.append("asked"); }
};

class ProgressRecorder : public QObject
{
    Q_OBJECT

public:
    QList<double> maxValues;
    QList<double> values;

public Q_SLOTS:
    void setMaxValue(double value) { maxValues.append(value); }
    void setDoubleValue(double value) { values.append(value); }
};

void listen(HTTPNetworkQueue &queue, QueueRecorder &recorder)
{
    queue.setDelegate(&recorder);
    queue.setRequestDidStartSelector("started");
    queue.setRequestDidReceiveResponseHeadersSelector("headers");
    queue.setRequestDidFinishSelector("finished");
    queue.setRequestDidFailSelector("failed");
    queue.setQueueDidFinishSelector("allDone");
}

TEST(HTTPNetworkQueueTest, RunsItsRequestsOnceToldAndEndsOnce)
{
    FakeHttpServer server;
    auto queue = HTTPNetworkQueue::queue();
    QueueRecorder recorder;
    listen(*queue, recorder);
    EXPECT_TRUE(queue->isSuspended());
    EXPECT_EQ(queue->maxConcurrentOperationCount(), 4);

    for (const char *path : {"/a", "/b", "/c"})
        queue->addOperation(HTTPRequest::requestWithURL(server.url(path)));
    EXPECT_EQ(queue->requestsCount(), 3);
    EXPECT_EQ(queue->totalBytesToDownload(), 3u);
    EXPECT_EQ(queue->totalBytesToUpload(), 3u);
    TestSupport::processEventsFor(100);
    EXPECT_TRUE(server.requests().isEmpty());

    queue->go();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.queueEnds > 0; }));
    TestSupport::processEventsFor(50);
    EXPECT_EQ(recorder.queueEnds, 1);
    EXPECT_EQ(recorder.calls.last(), "queue done");
    for (const char *path : {"/a", "/b", "/c"}) {
        const QString name = QString::fromLatin1(path);
        EXPECT_EQ(recorder.count("started " + name), 1);
        EXPECT_EQ(recorder.count("headers " + name), 1);
        EXPECT_EQ(recorder.count("finished " + name), 1);
        EXPECT_LT(recorder.calls.indexOf("started " + name),
                  recorder.calls.indexOf("finished " + name));
    }
    EXPECT_EQ(queue->requestsCount(), 0);
}

TEST(HTTPNetworkQueueTest, OnlyRequestsAreTakenAndNothingIsCountedOtherwise)
{
    auto queue = HTTPNetworkQueue::queue();
    QueueRecorder recorder;
    listen(*queue, recorder);
    try {
        queue->addOperation(std::make_shared<Operation>());
        ADD_FAILURE() << "a plain operation was taken";
    } catch (const Exception &exception) {
        EXPECT_EQ(exception.name(), HTTPNetworkQueue::AttemptToAddInvalidRequest);
        EXPECT_EQ(exception.reason(),
                  "Attempted to add an object that was not an HTTPRequest to an HTTPNetworkQueue");
    }
    auto request = HTTPRequest::requestWithURL(QUrl("http://127.0.0.1:1/"));
    queue->addOperation(request);
    EXPECT_THROW(queue->addOperation(request), Exception);
    EXPECT_EQ(queue->requestsCount(), 1);
    EXPECT_EQ(queue->totalBytesToDownload(), 1u);
    EXPECT_EQ(request->queue(), queue.get());

    // An empty queue that runs never reports its end.
    auto empty = HTTPNetworkQueue::queue();
    QueueRecorder idle;
    listen(*empty, idle);
    empty->go();
    TestSupport::processEventsFor(100);
    EXPECT_TRUE(idle.calls.isEmpty());

    // What is still queued at the end no longer reports to the queue.
    queue.reset();
    EXPECT_EQ(request->queue(), nullptr);
}

TEST(HTTPNetworkQueueTest, AFailureCancelsTheRestAndTheQueueStillEndsOnce)
{
    FakeHttpServer server;
    FakeReply broken;
    broken.closeWithoutAnswer = true;
    server.setReply("/broken", broken);
    FakeReply silent;
    silent.neverAnswer = true;
    server.setReply("/silent", silent);
    auto queue = HTTPNetworkQueue::queue();
    queue->setMaxConcurrentOperationCount(1);
    QueueRecorder recorder;
    listen(*queue, recorder);
    queue->addOperation(HTTPRequest::requestWithURL(server.url("/broken")));
    queue->addOperation(HTTPRequest::requestWithURL(server.url("/silent")));
    queue->addOperation(HTTPRequest::requestWithURL(server.url("/silent2")));
    queue->go();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.queueEnds > 0; }));
    TestSupport::processEventsFor(100);
    EXPECT_EQ(recorder.queueEnds, 1);
    EXPECT_EQ(recorder.count("failed /broken"), 1);
    EXPECT_EQ(recorder.count("failed /silent"), 1);
    EXPECT_EQ(recorder.count("failed /silent2"), 1);
    ASSERT_EQ(recorder.errors.size(), 3);
    EXPECT_EQ(recorder.errors[0].code(), HTTPRequestError::ConnectionFailure);
    EXPECT_EQ(recorder.errors[1].code(), HTTPRequestError::RequestCancelled);
    EXPECT_EQ(queue->requestsCount(), 0);
    EXPECT_EQ(queue->totalBytesToDownload(), 0u);
}

TEST(HTTPNetworkQueueTest, FailuresLeaveTheRestRunningWhenAskedTo)
{
    FakeHttpServer server;
    FakeReply broken;
    broken.closeWithoutAnswer = true;
    server.setReply("/broken", broken);
    auto queue = HTTPNetworkQueue::queue();
    queue->setShouldCancelAllRequestsOnFailure(false);
    queue->setMaxConcurrentOperationCount(1);
    QueueRecorder recorder;
    listen(*queue, recorder);
    queue->addOperation(HTTPRequest::requestWithURL(server.url("/broken")));
    queue->addOperation(HTTPRequest::requestWithURL(server.url("/fine")));
    queue->go();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.queueEnds > 0; }));
    EXPECT_EQ(recorder.count("failed /broken"), 1);
    EXPECT_EQ(recorder.count("finished /fine"), 1);
}

TEST(HTTPNetworkQueueTest, AccurateProgressSendsHeadPreRequestsFirstWhileSuspended)
{
    FakeHttpServer server;
    server.setReply("/big", FakeReply::ok(QByteArray("x").repeated(5000)));
    auto queue = HTTPNetworkQueue::queue();
    queue->setShowAccurateProgress(true);
    QueueRecorder recorder;
    listen(*queue, recorder);
    ProgressRecorder download;
    ProgressRecorder upload;
    queue->setDownloadProgressDelegate(&download);
    queue->setUploadProgressDelegate(&upload);
    EXPECT_EQ(download.maxValues, QList<double>{1.0});
    EXPECT_EQ(download.values, QList<double>{0.0});

    auto get = HTTPRequest::requestWithURL(server.url("/big"));
    queue->addOperation(get);
    auto post = HTTPRequest::requestWithURL(server.url("/post"));
    post->appendPostData("twelve bytes");
    queue->addOperation(post);
    EXPECT_FALSE(get->shouldResetDownloadProgress());
    EXPECT_FALSE(get->shouldResetUploadProgress());
    EXPECT_EQ(queue->totalBytesToUpload(), 12u);
    EXPECT_EQ(queue->totalBytesToDownload(), 0u);
    EXPECT_EQ(queue->operationCount(), 3);
    EXPECT_EQ(get->dependencies().size(), 1);
    EXPECT_TRUE(post->dependencies().isEmpty());

    queue->go();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.queueEnds > 0; }));
    QList<QByteArray> bigMethods;
    for (const RecordedRequest &sent : server.requests()) {
        if (sent.path() == "/big")
            bigMethods.append(sent.method);
    }
    EXPECT_EQ(bigMethods, (QList<QByteArray>{"HEAD", "GET"}));
    // The pre-request's length is the download total; the bar ends full.
    EXPECT_EQ(queue->totalBytesToDownload(), 5000u);
    TestSupport::processEventsFor(50);
    ASSERT_FALSE(download.values.isEmpty());
    EXPECT_EQ(download.values.last(), 1.0);
    EXPECT_EQ(upload.values.last(), 1.0);
    // The pre-request reports nothing of its own.
    EXPECT_EQ(recorder.count("started /big"), 1);
    EXPECT_EQ(recorder.count("finished /big"), 1);
    EXPECT_EQ(recorder.queueEnds, 1);

    // Once running, a GET gets no pre-request.
    queue->addOperation(HTTPRequest::requestWithURL(server.url("/late")));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.queueEnds > 1; }));
    for (const RecordedRequest &sent : server.requests())
        EXPECT_FALSE(sent.path() == "/late" && sent.method == "HEAD");
}

TEST(HTTPNetworkQueueTest, AFailedPreRequestFailsItsRequestOnce)
{
    FakeHttpServer server;
    server.setHandler([](const RecordedRequest &request) {
        FakeReply reply = FakeReply::ok("body");
        reply.closeWithoutAnswer = request.method == "HEAD";
        return reply;
    });
    auto queue = HTTPNetworkQueue::queue();
    queue->setShowAccurateProgress(true);
    QueueRecorder recorder;
    listen(*queue, recorder);
    queue->addOperation(HTTPRequest::requestWithURL(server.url("/one")));
    queue->addOperation(HTTPRequest::requestWithURL(server.url("/two")));
    queue->go();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.queueEnds > 0; }));
    TestSupport::processEventsFor(200);
    EXPECT_EQ(recorder.count("failed /one"), 1);
    EXPECT_EQ(recorder.count("failed /two"), 1);
    EXPECT_EQ(recorder.queueEnds, 1);
    EXPECT_EQ(queue->requestsCount(), 0);
    for (const RecordedRequest &sent : server.requests())
        EXPECT_EQ(sent.method, "HEAD");
}

TEST(HTTPNetworkQueueTest, ProgressSumsOverTheQueue)
{
    auto queue = HTTPNetworkQueue::queue();
    ProgressRecorder download;
    queue->setDownloadProgressDelegate(&download);
    queue->requestIncrementDownloadSizeBy(nullptr, 200);
    queue->requestDidReceiveBytes(nullptr, 50);
    queue->requestDidReceiveBytes(nullptr, 100);
    // A resent request takes back what it had counted.
    queue->requestDidReceiveBytes(nullptr, -100);
    queue->requestIncrementDownloadSizeBy(nullptr, -200);
    queue->requestDidReceiveBytes(nullptr, 10);
    EXPECT_EQ(download.values, (QList<double>{0.0, 0.25, 0.75, 0.25}));
    EXPECT_EQ(queue->bytesDownloadedSoFar(), 60u);

    ProgressRecorder upload;
    queue->setUploadProgressDelegate(&upload);
    queue->requestIncrementUploadSizeBy(nullptr, 4);
    queue->requestDidSendBytes(nullptr, 8);
    EXPECT_EQ(upload.values, (QList<double>{0.0, 1.0}));

    queue->cancelAllOperations();
    EXPECT_EQ(queue->bytesDownloadedSoFar(), 0u);
    EXPECT_EQ(queue->totalBytesToUpload(), 0u);
}

TEST(HTTPNetworkQueueTest, CopyResetAndCredentialQuestions)
{
    auto queue = HTTPNetworkQueue::queue();
    QueueRecorder recorder;
    listen(*queue, recorder);
    ProgressRecorder progress;
    queue->setDownloadProgressDelegate(&progress);
    queue->setShowAccurateProgress(true);
    queue->setShouldCancelAllRequestsOnFailure(false);
    queue->setUserInfo({{"batch", 7}});
    queue->requestIncrementDownloadSizeBy(nullptr, 5);

    const auto copy = queue->copy();
    EXPECT_EQ(copy->delegate(), &recorder);
    EXPECT_EQ(copy->requestDidStartSelector(), "started");
    EXPECT_EQ(copy->requestDidFinishSelector(), "finished");
    EXPECT_EQ(copy->requestDidFailSelector(), "failed");
    EXPECT_EQ(copy->queueDidFinishSelector(), "allDone");
    EXPECT_TRUE(copy->requestDidReceiveResponseHeadersSelector().isEmpty());
    EXPECT_EQ(copy->downloadProgressDelegate(), &progress);
    EXPECT_TRUE(copy->showAccurateProgress());
    EXPECT_FALSE(copy->shouldCancelAllRequestsOnFailure());
    EXPECT_EQ(copy->userInfo().value("batch").toInt(), 7);
    EXPECT_EQ(copy->totalBytesToDownload(), 0u);
    EXPECT_TRUE(copy->isSuspended());

    // Credential questions count as answered only when the delegate answers them.
    EXPECT_LT(
        SelectorCall::methodIndex(queue.get(), "authenticationNeededForRequest", "HTTPRequest*"),
        0);
    AnsweringRecorder answering;
    queue->setDelegate(&answering);
    EXPECT_GE(
        SelectorCall::methodIndex(queue.get(), "authenticationNeededForRequest", "HTTPRequest*"),
        0);
    EXPECT_LT(SelectorCall::methodIndex(queue.get(), "proxyAuthenticationNeededForRequest",
                                        "HTTPRequest*"),
              0);
    queue->authenticationNeededForRequest(nullptr);
    EXPECT_EQ(answering.calls, QStringList{"asked"});

    queue->go();
    queue->reset();
    EXPECT_TRUE(queue->isSuspended());
    EXPECT_EQ(queue->delegate(), nullptr);
    EXPECT_EQ(queue->downloadProgressDelegate(), nullptr);
    EXPECT_TRUE(queue->requestDidStartSelector().isEmpty());
    EXPECT_TRUE(queue->queueDidFinishSelector().isEmpty());
    EXPECT_TRUE(queue->showAccurateProgress());
}

} // namespace

#include "HTTPNetworkQueueTest.moc"
