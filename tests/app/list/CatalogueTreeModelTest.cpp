#include "app/list/CatalogueTreeModel.h"

#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"
#include "common/TestSupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class CatalogueTreeModelTest : public ::testing::Test
{
protected:
    Subtitle *addSubtitle(VideoFile *video, const QString &language, qint32 rating,
                          const QString &fileName)
    {
        Subtitle *subtitle = catalogue.insertSubtitle();
        subtitle->setLanguage(language);
        subtitle->setRatingValue(rating);
        subtitle->setFileName(fileName);
        subtitle->setParent(video);
        return subtitle;
    }

    QStringList rows(const QModelIndex &parent = {}) const
    {
        QStringList texts;
        for (int row = 0; row < model.rowCount(parent); ++row)
            texts.append(model.data(model.index(row, 0, parent), Qt::DisplayRole).toString());
        return texts;
    }

    TNModelController catalogue;
    CatalogueTreeModel model{catalogue};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(CatalogueTreeModelTest, RowsFollowTheCatalogueAndSortOnlyWhenAsked)
{
    model.setGroupingInsertions(true);
    VideoFile *zulu = catalogue.insertVideoFile(QStringLiteral("/v/zulu.avi"));
    zulu->setName(QStringLiteral("zulu"));
    VideoFile *alpha = catalogue.insertVideoFile(QStringLiteral("/v/Alpha.mkv"));
    alpha->setName(QStringLiteral("Alpha"));
    catalogue.insertVideoFile(QStringLiteral("/v/beta.mp4"))->setName(QStringLiteral("beta"));
    addSubtitle(alpha, QStringLiteral("fr"), 5, QStringLiteral("c.srt"));
    addSubtitle(alpha, QStringLiteral("en"), 2, QStringLiteral("b.srt"));
    addSubtitle(alpha, QStringLiteral("en"), 9, QStringLiteral("a.srt"));
    EXPECT_EQ(model.rowCount(), 0) << "new videos are shown in groups";
    ASSERT_TRUE(TestSupport::waitUntil([this] { return model.rowCount() == 3; }));
    EXPECT_EQ(rows(), QStringList({"zulu.avi", "Alpha.mkv", "beta.mp4"}));
    const QModelIndex alphaIndex = model.indexForObject(alpha);
    EXPECT_EQ(rows(alphaIndex), QStringList({"fr  c.srt", "en  b.srt", "en  a.srt"}));

    const QPersistentModelIndex kept(model.indexForObject(zulu));
    const QPersistentModelIndex keptCandidate(model.index(2, 0, alphaIndex));
    QSignalSpy rearranged(&model, &CatalogueTreeModel::rearranged);
    model.rearrangeObjects();
    ASSERT_TRUE(rearranged.wait());
    EXPECT_EQ(rows(), QStringList({"Alpha.mkv", "beta.mp4", "zulu.avi"}));
    EXPECT_EQ(rows(model.indexForObject(alpha)),
              QStringList({"en  a.srt", "en  b.srt", "fr  c.srt"}))
        << "language ascending, then rating descending";
    EXPECT_EQ(model.objectForIndex(kept), zulu);
    EXPECT_EQ(model.data(keptCandidate, Qt::DisplayRole).toString(), QStringLiteral("en  a.srt"));
    EXPECT_EQ(keptCandidate.row(), 0);

    const QModelIndex subtitleIndex = model.index(0, 0, model.indexForObject(alpha));
    EXPECT_FALSE(model.flags(subtitleIndex) & Qt::ItemIsSelectable);
    EXPECT_TRUE(model.flags(model.indexForObject(alpha)) & Qt::ItemIsSelectable);
    EXPECT_EQ(model.parent(subtitleIndex), model.indexForObject(alpha));
    EXPECT_EQ(model.data(model.indexForObject(zulu), Qt::ToolTipRole).toString(),
              QStringLiteral("/v/zulu.avi"));
}

TEST_F(CatalogueTreeModelTest, CandidatesArriveInGroupsAndInOrder)
{
    VideoFile *first = catalogue.insertVideoFile(QStringLiteral("/v/one.avi"));
    VideoFile *second = catalogue.insertVideoFile(QStringLiteral("/v/two.avi"));
    model.setGroupingInsertions(true);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    addSubtitle(second, QStringLiteral("en"), 1, QStringLiteral("s1.srt"));
    addSubtitle(first, QStringLiteral("en"), 1, QStringLiteral("f1.srt"));
    Subtitle *moved = addSubtitle(second, QStringLiteral("en"), 1, QStringLiteral("s2.srt"));
    addSubtitle(first, QStringLiteral("fr"), 1, QStringLiteral("f2.srt"));
    moved->setParent(first);
    EXPECT_EQ(model.rowCount(model.indexForObject(first)), 0) << "candidates wait for their group";

    ASSERT_TRUE(TestSupport::waitUntil([&] { return !inserted.isEmpty(); }));
    EXPECT_EQ(inserted.count(), 2) << "one block per video";
    EXPECT_EQ(rows(model.indexForObject(second)), QStringList{"en  s1.srt"});
    EXPECT_EQ(rows(model.indexForObject(first)),
              QStringList({"en  f1.srt", "fr  f2.srt", "en  s2.srt"}));

    // A candidate that arrives while the rows are being sorted ends up in order too.
    model.rearrangeObjects();
    addSubtitle(second, QStringLiteral("de"), 1, QStringLiteral("s3.srt"));
    model.insertPendingRows();
    QSignalSpy rearranged(&model, &CatalogueTreeModel::rearranged);
    ASSERT_TRUE(rearranged.wait());
    EXPECT_EQ(rows(model.indexForObject(second)), QStringList({"de  s3.srt", "en  s1.srt"}));
}

TEST_F(CatalogueTreeModelTest, ChangesMovesAndClearingReachTheView)
{
    VideoFile *first = catalogue.insertVideoFile(QStringLiteral("/v/one.avi"));
    VideoFile *second = catalogue.insertVideoFile(QStringLiteral("/v/two.avi"));
    Subtitle *subtitle = addSubtitle(first, QStringLiteral("en"), 1, QStringLiteral("x.srt"));
    EXPECT_EQ(rows(model.indexForObject(first)), QStringList{"en  x.srt"});

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    subtitle->setStatus(SubtitleStatusSelected);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>(), model.indexForObject(subtitle));

    subtitle->setParent(second);
    EXPECT_EQ(model.rowCount(model.indexForObject(first)), 0);
    EXPECT_EQ(rows(model.indexForObject(second)), QStringList{"en  x.srt"});

    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    catalogue.removeAll();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.indexForObject(subtitle).isValid());
}

} // namespace
