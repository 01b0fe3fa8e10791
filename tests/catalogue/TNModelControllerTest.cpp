#include "catalogue/TNModelController.h"
#include "catalogue/Subtitle.h"
#include "catalogue/VideoFile.h"
#include "common/TestSupport.h"

#include <QSignalSpy>
#include <QVariant>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

class TNModelControllerTest : public ::testing::Test
{
protected:
    Subtitle *attached(VideoFile *video, std::optional<qint32> status,
                       const std::optional<QString> &service = QStringLiteral("os"))
    {
        Subtitle *subtitle = store.insertSubtitle();
        subtitle->setStatus(status);
        subtitle->setService(service);
        store.addSubtitle(subtitle, video);
        return subtitle;
    }

    TNModelController store;
};

template <typename Object> QList<Object *> sorted(QList<Object *> objects)
{
    std::sort(objects.begin(), objects.end());
    return objects;
}

TEST_F(TNModelControllerTest, EmptyStoreIsReadyAndAnswersNothing)
{
    EXPECT_TRUE(store.getAllVideoFiles().isEmpty());
    EXPECT_TRUE(store.getAllSubtitles().isEmpty());
    EXPECT_TRUE(store.getVideoFilesToSearch().isEmpty());
    EXPECT_TRUE(store.getSubtitlesWithLoginError().isEmpty());
    EXPECT_TRUE(store.getSubtitlesToDownload().isEmpty());
    EXPECT_EQ(store.countVideoFiles(), 0u);
    EXPECT_EQ(store.countSubtitles(), 0u);
    EXPECT_EQ(store.countVideoFilesToSearch(), 0u);
    EXPECT_EQ(store.countSubtitlesToDownload(), 0u);
    EXPECT_EQ(store.countSubtitlesDownloaded(), 0u);
    EXPECT_EQ(store.getSubtitleByPath(QStringLiteral("a.srt")), nullptr);
    EXPECT_EQ(store.getSubtitleByPath(QString()), nullptr);
}

TEST_F(TNModelControllerTest, ReimportReturnsTheSameVideoWithItsCandidatesIntact)
{
    VideoFile *video = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    video->setName(QStringLiteral("a"));
    Subtitle *chosen = attached(video, SubtitleStatusSelected);
    Subtitle *written = attached(video, SubtitleStatusDownloaded);

    EXPECT_EQ(store.insertVideoFile(QStringLiteral("/v/a.avi")), video);
    EXPECT_EQ(store.countVideoFiles(), 1u);
    EXPECT_EQ(video->name(), QStringLiteral("a"));
    EXPECT_EQ(video->subtitles(), QList<Subtitle *>({chosen, written}));
    EXPECT_EQ(chosen->status(), SubtitleStatusSelected);
    EXPECT_EQ(written->status(), SubtitleStatusDownloaded);

    // The path is matched exactly.
    EXPECT_NE(store.insertVideoFile(QStringLiteral("/v/A.avi")), video);
    EXPECT_NE(store.insertVideoFile(QStringLiteral("/v//a.avi")), video);
    EXPECT_EQ(store.countVideoFiles(), 3u);
}

TEST_F(TNModelControllerTest, PathLookupsTreatSeveralMatchesLikeNone)
{
    VideoFile *first = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    VideoFile *second = store.insertVideoFile(QStringLiteral("/v/b.avi"));
    second->setFileName(QStringLiteral("/v/a.avi"));
    VideoFile *third = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);
    // The renamed video is found under its new path only.
    first->setFileName(QStringLiteral("/v/c.avi"));
    EXPECT_EQ(store.insertVideoFile(QStringLiteral("/v/c.avi")), first);
    EXPECT_EQ(store.countVideoFiles(), 3u);

    Subtitle *one = store.insertSubtitle();
    one->setFileName(QStringLiteral("x.srt"));
    EXPECT_EQ(store.getSubtitleByPath(QStringLiteral("x.srt")), one);
    EXPECT_EQ(store.getSubtitleByPath(QStringLiteral("X.srt")), nullptr);
    Subtitle *two = store.insertSubtitle();
    two->setFileName(QStringLiteral("x.srt"));
    EXPECT_EQ(store.getSubtitleByPath(QStringLiteral("x.srt")), nullptr);
    two->setFileName(std::nullopt);
    EXPECT_EQ(store.getSubtitleByPath(QStringLiteral("x.srt")), one);
    // A video's path never answers for a subtitle.
    EXPECT_EQ(store.getSubtitleByPath(QStringLiteral("/v/c.avi")), nullptr);
}

TEST_F(TNModelControllerTest, IdentifiersFindOnlyLiveObjectsOfTheirOwnKind)
{
    VideoFile *video = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    Subtitle *subtitle = store.insertSubtitle();
    const ObjectId videoID = video->objectID();
    const ObjectId subtitleID = subtitle->objectID();
    EXPECT_FALSE(videoID.isNull());
    EXPECT_NE(videoID, subtitleID);
    EXPECT_EQ(store.videoFileWithID(videoID), video);
    EXPECT_EQ(store.subtitleWithID(subtitleID), subtitle);
    EXPECT_EQ(store.subtitleWithID(videoID), nullptr);
    EXPECT_EQ(store.videoFileWithID(subtitleID), nullptr);
    EXPECT_EQ(store.videoFileWithID(ObjectId()), nullptr);

    // Identifiers travel inside variants, as request user info does.
    const QVariant carried = QVariant::fromValue(subtitleID);
    EXPECT_EQ(store.subtitleWithID(carried.value<ObjectId>()), subtitle);

    TNModelController other;
    EXPECT_EQ(other.videoFileWithID(videoID), nullptr);

    store.removeAll();
    EXPECT_EQ(store.videoFileWithID(videoID), nullptr);
    EXPECT_EQ(store.subtitleWithID(subtitleID), nullptr);
    VideoFile *again = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    EXPECT_NE(again->objectID(), videoID);
    EXPECT_GT(again->objectID(), subtitleID);
    EXPECT_EQ(store.videoFileWithID(videoID), nullptr);
}

TEST_F(TNModelControllerTest, AttachingAndMovingKeepsBothSidesInStep)
{
    VideoFile *first = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    VideoFile *second = store.insertVideoFile(QStringLiteral("/v/b.avi"));
    Subtitle *a = store.insertSubtitle();
    Subtitle *b = store.insertSubtitle();
    Subtitle *c = store.insertSubtitle();

    store.addSubtitle(a, nullptr);
    store.addSubtitle(nullptr, first);
    EXPECT_EQ(a->parent(), nullptr);
    EXPECT_TRUE(first->subtitles().isEmpty());

    store.addSubtitle(a, first);
    b->setParent(first);
    store.addSubtitle(c, first);
    EXPECT_EQ(first->subtitles(), QList<Subtitle *>({a, b, c}));
    EXPECT_EQ(b->parent(), first);

    b->setParent(second);
    EXPECT_EQ(first->subtitles(), QList<Subtitle *>({a, c}));
    EXPECT_EQ(second->subtitles(), QList<Subtitle *>({b}));
    EXPECT_EQ(b->parent(), second);

    store.addSubtitle(a, first);
    EXPECT_EQ(first->subtitles(), QList<Subtitle *>({a, c}));

    c->setParent(nullptr);
    EXPECT_EQ(c->parent(), nullptr);
    EXPECT_EQ(first->subtitles(), QList<Subtitle *>({a}));
    EXPECT_EQ(store.countSubtitles(), 3u);
}

TEST_F(TNModelControllerTest, QueriesSelectByStatusModifiedAndExactService)
{
    VideoFile *searched = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    VideoFile *toSearch = store.insertVideoFile(QStringLiteral("/v/b.avi"));
    VideoFile *unknown = store.insertVideoFile(QStringLiteral("/v/c.avi"));
    toSearch->setModified(true);
    unknown->setModified(std::nullopt);
    EXPECT_EQ(store.getVideoFilesToSearch(), QList<VideoFile *>({toSearch}));
    EXPECT_EQ(store.countVideoFilesToSearch(), 1u);
    EXPECT_EQ(store.getAllVideoFiles(), QList<VideoFile *>({searched, toSearch, unknown}));

    Subtitle *absent = attached(searched, std::nullopt);
    Subtitle *zero = attached(searched, SubtitleStatusNotSelected);
    Subtitle *login = attached(searched, SubtitleStatusLoginError);
    Subtitle *done = attached(searched, SubtitleStatusDownloaded);
    Subtitle *limit = attached(searched, SubtitleStatusDailyLimit);
    Subtitle *selected = attached(searched, SubtitleStatusSelected);
    Subtitle *writeFailed = attached(toSearch, SubtitleStatusWriteFailed, QStringLiteral("pod"));
    Subtitle *fetchFailed = attached(toSearch, SubtitleStatusDownloadFailed, QStringLiteral("OS"));
    Subtitle *noService = attached(toSearch, SubtitleStatusSelected, std::nullopt);
    Subtitle *quoted = attached(toSearch, SubtitleStatusSelected, QStringLiteral("a\" OR 1=1 %@"));
    Subtitle *orphan = store.insertSubtitle();
    orphan->setStatus(SubtitleStatusSelected);
    orphan->setService(QStringLiteral("os"));

    EXPECT_EQ(store.countSubtitles(), 11u);
    EXPECT_EQ(store.getSubtitlesWithLoginError(), QList<Subtitle *>({login}));
    EXPECT_EQ(store.countSubtitlesDownloaded(), 1u);
    EXPECT_EQ(
        sorted(store.getSubtitlesToDownload()),
        sorted(QList<Subtitle *>({selected, writeFailed, fetchFailed, noService, quoted, orphan})));
    EXPECT_EQ(store.countSubtitlesToDownload(), 6u);
    EXPECT_EQ(sorted(store.getSubtitlesToDownloadForService(QString())),
              sorted(store.getSubtitlesToDownload()));
    EXPECT_EQ(sorted(store.getSubtitlesToDownloadForService(QStringLiteral("os"))),
              sorted(QList<Subtitle *>({selected, orphan})));
    EXPECT_EQ(store.getSubtitlesToDownloadForService(QStringLiteral("a\" OR 1=1 %@")),
              QList<Subtitle *>({quoted}));
    EXPECT_TRUE(store.getSubtitlesToDownloadForService(QStringLiteral("")).isEmpty());
    for (const Subtitle *notToDownload : {absent, zero, login, done, limit})
        EXPECT_FALSE(store.getSubtitlesToDownload().contains(notToDownload));
}

TEST_F(TNModelControllerTest, FlaggingMarksEveryVideoToSearch)
{
    store.insertVideoFile(QStringLiteral("/v/a.avi"));
    store.insertVideoFile(QStringLiteral("/v/b.avi"))->setModified(std::nullopt);
    store.flagAllVideoFilesToSearch();
    EXPECT_EQ(store.countVideoFilesToSearch(), 2u);
}

TEST_F(TNModelControllerTest, RemoveAllDeletesEveryObjectAndLeavesTheStoreUsable)
{
    VideoFile *video = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    attached(video, SubtitleStatusSelected);
    Subtitle *orphan = store.insertSubtitle();
    orphan->setFileName(QStringLiteral("o.srt"));

    store.removeAll();
    EXPECT_EQ(store.countVideoFiles(), 0u);
    EXPECT_EQ(store.countSubtitles(), 0u);
    EXPECT_EQ(store.countSubtitlesToDownload(), 0u);
    EXPECT_EQ(store.getSubtitleByPath(QStringLiteral("o.srt")), nullptr);

    VideoFile *fresh = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    EXPECT_TRUE(fresh->subtitles().isEmpty());
    EXPECT_EQ(store.countVideoFiles(), 1u);
    store.removeAll();
    store.removeAll();
    EXPECT_EQ(store.countVideoFiles(), 0u);

    // The cleared objects are freed later; what came in since is left alone.
    VideoFile *kept = store.insertVideoFile(QStringLiteral("/v/k.avi"));
    TestSupport::processEventsFor(50);
    EXPECT_EQ(store.videoFileWithID(kept->objectID()), kept);
    EXPECT_EQ(store.insertVideoFile(QStringLiteral("/v/k.avi")), kept);
}

TEST_F(TNModelControllerTest, SignalsReportEveryChangeAModelMustFollow)
{
    QSignalSpy videoInserted(&store, &TNModelController::videoFileInserted);
    QSignalSpy subtitleInserted(&store, &TNModelController::subtitleInserted);
    QSignalSpy aboutToMove(&store, &TNModelController::subtitleAboutToMove);
    QSignalSpy moved(&store, &TNModelController::subtitleMoved);
    QSignalSpy changed(&store, &TNModelController::objectChanged);
    QSignalSpy aboutToClear(&store, &TNModelController::aboutToClear);
    QSignalSpy cleared(&store, &TNModelController::cleared);

    VideoFile *video = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    ASSERT_EQ(videoInserted.count(), 1);
    EXPECT_EQ(videoInserted.at(0).at(0).value<VideoFile *>(), video);
    store.insertVideoFile(QStringLiteral("/v/a.avi"));
    EXPECT_EQ(videoInserted.count(), 1);
    EXPECT_EQ(changed.count(), 0);

    Subtitle *subtitle = store.insertSubtitle();
    ASSERT_EQ(subtitleInserted.count(), 1);
    EXPECT_EQ(subtitleInserted.at(0).at(0).value<Subtitle *>(), subtitle);

    // The "about" signal sees the lists as they were, the other as they are.
    bool sawOldLists = false;
    QObject::connect(
        &store, &TNModelController::subtitleAboutToMove, &store,
        [&](Subtitle *, VideoFile *, VideoFile *to) { sawOldLists = to->subtitles().isEmpty(); });
    store.addSubtitle(subtitle, video);
    EXPECT_TRUE(sawOldLists);
    ASSERT_EQ(aboutToMove.count(), 1);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0).at(0).value<Subtitle *>(), subtitle);
    EXPECT_EQ(moved.at(0).at(1).value<VideoFile *>(), nullptr);
    EXPECT_EQ(moved.at(0).at(2).value<VideoFile *>(), video);
    store.addSubtitle(subtitle, video);
    EXPECT_EQ(moved.count(), 1);

    subtitle->setStatus(SubtitleStatusSelected);
    subtitle->setStatus(SubtitleStatusSelected);
    video->setModified(true);
    subtitle->setRatingValue(12);
    ASSERT_EQ(changed.count(), 3);
    EXPECT_EQ(changed.at(0).at(0).value<SubsBase *>(), subtitle);
    EXPECT_EQ(changed.at(0).at(1).value<SubsBase::Attribute>(), SubsBase::Attribute::Status);
    EXPECT_EQ(changed.at(1).at(0).value<SubsBase *>(), video);
    EXPECT_EQ(changed.at(1).at(1).value<SubsBase::Attribute>(), SubsBase::Attribute::Modified);
    EXPECT_EQ(changed.at(2).at(1).value<SubsBase::Attribute>(), SubsBase::Attribute::Rating);

    bool sawObjects = false;
    QObject::connect(&store, &TNModelController::aboutToClear, &store, [&] {
        sawObjects = store.countSubtitles() == 1 && video->subtitles().size() == 1;
    });
    store.removeAll();
    EXPECT_TRUE(sawObjects);
    EXPECT_EQ(aboutToClear.count(), 1);
    EXPECT_EQ(cleared.count(), 1);
}

TEST_F(TNModelControllerTest, SelectionPicksTheBestOfEachLanguageFirstOnTies)
{
    VideoFile *video = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    auto candidate = [&](const char *language, qint32 rating, std::optional<qint32> status) {
        Subtitle *subtitle = attached(video, status);
        subtitle->setLanguage(QString::fromLatin1(language));
        subtitle->setRatingValue(rating);
        return subtitle;
    };
    Subtitle *enLow = candidate("en", 10, SubtitleStatusSelected);
    Subtitle *enFirstTop = candidate("en", 50, std::nullopt);
    Subtitle *frOnly = candidate("fr", -5, SubtitleStatusNotSelected);
    Subtitle *enSecondTop = candidate("en", 50, SubtitleStatusNotSelected);
    Subtitle *enLoginError = candidate("en", 200, SubtitleStatusLoginError);
    Subtitle *enWriteFailed = candidate("en", 200, SubtitleStatusWriteFailed);
    Subtitle *frDownloaded = candidate("fr", 200, SubtitleStatusDownloaded);
    Subtitle *deLimit = candidate("de", 200, SubtitleStatusDailyLimit);
    Subtitle *deFailed = candidate("de", 200, SubtitleStatusDownloadFailed);

    store.checkHighestSubtitle(video);
    EXPECT_FALSE(enLow->status());
    EXPECT_EQ(enFirstTop->status(), SubtitleStatusSelected);
    EXPECT_FALSE(enSecondTop->status());
    EXPECT_EQ(frOnly->status(), SubtitleStatusSelected);
    EXPECT_EQ(enLoginError->status(), SubtitleStatusLoginError);
    EXPECT_EQ(enWriteFailed->status(), SubtitleStatusWriteFailed);
    EXPECT_EQ(frDownloaded->status(), SubtitleStatusDownloaded);
    EXPECT_EQ(deLimit->status(), SubtitleStatusDailyLimit);
    EXPECT_EQ(deFailed->status(), SubtitleStatusDownloadFailed);

    // Running again changes nothing, and a later, better candidate takes over.
    QSignalSpy changed(&store, &TNModelController::objectChanged);
    store.checkHighestSubtitle(video);
    EXPECT_EQ(changed.count(), 0);
    Subtitle *enBest = candidate("en", 51, std::nullopt);
    store.checkHighestSubtitle(video);
    EXPECT_EQ(enBest->status(), SubtitleStatusSelected);
    EXPECT_FALSE(enFirstTop->status());
    EXPECT_EQ(frOnly->status(), SubtitleStatusSelected);
}

TEST_F(TNModelControllerTest, SelectionLeavesCandidatesWithoutLanguageAsTheyAre)
{
    VideoFile *video = store.insertVideoFile(QStringLiteral("/v/a.avi"));
    Subtitle *ticked = attached(video, SubtitleStatusSelected);
    ticked->setRatingValue(100);
    Subtitle *unticked = attached(video, std::nullopt);
    unticked->setRatingValue(300);
    Subtitle *emptyLanguage = attached(video, SubtitleStatusNotSelected);
    emptyLanguage->setLanguage(QStringLiteral(""));
    Subtitle *english = attached(video, std::nullopt);
    english->setLanguage(QStringLiteral("en"));

    store.checkHighestSubtitle(video);
    EXPECT_EQ(ticked->status(), SubtitleStatusSelected);
    EXPECT_FALSE(unticked->status());
    EXPECT_EQ(emptyLanguage->status(), SubtitleStatusSelected);
    EXPECT_EQ(english->status(), SubtitleStatusSelected);

    store.checkHighestSubtitle(nullptr);
    Subtitle *orphan = store.insertSubtitle();
    orphan->setLanguage(QStringLiteral("en"));
    store.checkHighestSubtitle(video);
    EXPECT_FALSE(orphan->status());
}

} // namespace
