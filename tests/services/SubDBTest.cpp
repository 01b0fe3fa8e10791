#include "catalogue/ServiceKeys.h"
#include "common/TestSupport.h"
#include "fakes/services/FakeSubDB.h"
#include "platform/OperationQueue.h"
#include "services/RecordingSearchDelegate.h"
#include "services/subdb/SubDBApi.h"
#include "services/subdb/SubDBSearchOperation.h"

#include <gtest/gtest.h>

#include <future>

using Fakes::FakeSubDB;

namespace {

const QUrl WebSite(QStringLiteral("https://example.org/trovanel/"));

VideoFileSearchList videos(int count)
{
    VideoFileSearchList files;
    for (int i = 0; i < count; ++i) {
        VideoFileSearchDictionary file;
        file.fileName = QStringLiteral("/films/%1.mkv").arg(i);
        file.fileHash = QStringLiteral("00000000000000%1").arg(i, 2, 10, QChar(u'0'));
        files.append(file);
    }
    return files;
}

// The operation's main step, run where the test chooses.
class SteppedSearch : public SubDBSearchOperation
{
public:
    using SubDBSearchOperation::main;
    using SubDBSearchOperation::SubDBSearchOperation;
};

} // namespace

TEST(SubDBApi, LanguagesComeInTheServicesOrder)
{
    FakeSubDB fake;
    const SubDBApi api(fake.host(), WebSite);
    EXPECT_EQ(api.languages(), (QStringList{"en", "fr", "pt"}));
    const auto requests = fake.server().requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/?action=languages");
    EXPECT_EQ(requests[0].header("User-Agent"),
              "SubDB/1.0 (Trovanel/1.0; https://example.org/trovanel/)");
}

TEST(SubDBApi, WorksFromAWorkerThread)
{
    FakeSubDB fake;
    const SubDBApi api(fake.host(), WebSite);
    auto languages = std::async(std::launch::async, [&api] { return api.languages(); });
    EXPECT_EQ(languages.get(), (QStringList{"en", "fr", "pt"}));
}

TEST(SubDBApi, FailuresGiveNoLanguages)
{
    FakeSubDB fake;
    const SubDBApi api(fake.host(), WebSite);
    fake.setLanguagesReply(FakeSubDB::LanguagesReply::ServerError);
    EXPECT_EQ(api.languages(), std::nullopt);
    fake.setLanguagesReply(FakeSubDB::LanguagesReply::Empty);
    EXPECT_EQ(api.languages(), std::nullopt);
    fake.server().stop();
    EXPECT_EQ(api.languages(), std::nullopt);
    EXPECT_EQ(api.searchSubtitleUsingWeb(videos(1).first(), QStringLiteral("en")), std::nullopt);
}

TEST(SubDBSearchOperation, OtherLanguagesReportNothing)
{
    RecordingSearchDelegate delegate;
    OperationQueue queue;
    auto operation =
        std::make_shared<SubDBSearchOperation>(videos(2), QStringList{"de", "EN"}, SubDBServiceKey);
    operation->setDelegate(&delegate);
    queue.addOperation(operation);
    queue.waitUntilAllOperationsAreFinished();
    TestSupport::processEventsFor(50);
    EXPECT_TRUE(operation->isFinished());
    EXPECT_TRUE(delegate.events.isEmpty());
}

TEST(SubDBSearchOperation, EnglishOrFrenchReportOnlyTheEnd)
{
    for (const QString &language : {QStringLiteral("en"), QStringLiteral("fr")}) {
        RecordingSearchDelegate delegate;
        OperationQueue queue;
        auto operation = std::make_shared<SubDBSearchOperation>(
            videos(2), QStringList{"de", language}, SubDBServiceKey);
        operation->setDelegate(&delegate);
        queue.addOperation(operation);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return delegate.finished; }));
        TestSupport::processEventsFor(50);
        EXPECT_EQ(delegate.events, QStringList{"finished"});
    }
}

TEST(SubDBSearchOperation, ACancelledWalkSaysSo)
{
    RecordingSearchDelegate delegate;
    SteppedSearch walking(videos(2), {"en"}, SubDBServiceKey);
    walking.setDelegate(&delegate);
    walking.cancel();
    walking.main();
    // Without videos there is no walk to cut short.
    SteppedSearch empty({}, {"en"}, SubDBServiceKey);
    empty.setDelegate(&delegate);
    empty.cancel();
    empty.main();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return delegate.events.size() == 2; }));
    EXPECT_EQ(delegate.events, (QStringList{"finished cancelled", "finished"}));
}
