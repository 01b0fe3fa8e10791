#include "services/SubtitleSearchOperation.h"
#include "common/TestSupport.h"
#include "services/RecordingSearchDelegate.h"

#include <QThread>

#include <gtest/gtest.h>

namespace {

// Reports one of each kind from its worker thread.
class ChattySearch : public SubtitleSearchOperation
{
public:
    ChattySearch() : SubtitleSearchOperation({}, {}, QStringLiteral("svc")) {}

protected:
    void main() override
    {
        notifyLogin();
        notifyReceivedSubtitles(QList<TNRemoteSubtitle>());
        notifyReceivedSubtitles(std::nullopt);
        notifyFailWithLogin();
        notifyFail();
        EXPECT_FALSE(notifyLoginResult(1));
        EXPECT_TRUE(notifyLoginResult(0));
        notifyFinished(true);
    }
};

// A delegate that is not a QObject and implements only the required call.
class PlainDelegate : public SubtitleSearchProtocol
{
public:
    void didReceiveSubtitles(const RemoteSubtitles &) override { ++batches; }
    int batches = 0;
};

void runOnWorker(const std::shared_ptr<Operation> &operation)
{
    QThread *worker = QThread::create([operation] { operation->start(); });
    worker->start();
    worker->wait();
    delete worker;
}

} // namespace

TEST(SubtitleSearchOperation, ReportsReachTheMainThreadInTheirOrder)
{
    RecordingSearchDelegate delegate;
    auto search = std::make_shared<ChattySearch>();
    search->setDelegate(&delegate);
    runOnWorker(search);
    EXPECT_TRUE(delegate.events.isEmpty()) << "nothing runs before the main thread does";
    ASSERT_TRUE(TestSupport::waitUntil([&] { return delegate.finished; }));
    EXPECT_EQ(delegate.events,
              (QStringList{QStringLiteral("login svc"), QStringLiteral("results 0"),
                           QStringLiteral("results nil"), QStringLiteral("refused svc"),
                           QStringLiteral("failed svc"), QStringLiteral("refused svc"),
                           QStringLiteral("login svc"), QStringLiteral("finished cancelled")}));
}

TEST(SubtitleSearchOperation, OptionalCallsMayBeLeftOutAndADeadDelegateGetsNothing)
{
    PlainDelegate plain;
    auto first = std::make_shared<ChattySearch>();
    first->setDelegate(&plain);
    runOnWorker(first);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return plain.batches == 2; }));

    auto *gone = new RecordingSearchDelegate;
    auto second = std::make_shared<ChattySearch>();
    second->setDelegate(gone);
    runOnWorker(second);
    delete gone;
    TestSupport::processEventsFor(50);

    auto third = std::make_shared<ChattySearch>();
    runOnWorker(third);
    TestSupport::processEventsFor(20);
    EXPECT_TRUE(third->isFinished());
}
