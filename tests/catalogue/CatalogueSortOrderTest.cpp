#include "catalogue/CatalogueSortOrder.h"
#include "catalogue/Subtitle.h"
#include "catalogue/TNModelController.h"
#include "catalogue/VideoFile.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

Subtitle *candidate(TNModelController &store, const QString &name,
                    const std::optional<QString> &language, qint32 rating)
{
    Subtitle *subtitle = store.insertSubtitle();
    subtitle->setName(name);
    subtitle->setLanguage(language);
    subtitle->setRatingValue(rating);
    return subtitle;
}

QStringList sortedNames(QList<SubsBase *> objects)
{
    std::sort(objects.begin(), objects.end(), [](const SubsBase *a, const SubsBase *b) {
        return CatalogueSortOrder::lessThan(*a, *b);
    });
    QStringList names;
    for (const SubsBase *object : objects)
        names.append(object->name().value_or(QStringLiteral("?")));
    return names;
}

TEST(CatalogueSortOrderTest, LanguageThenFallingRatingThenTextIgnoringCase)
{
    TNModelController store;
    const QList<SubsBase *> objects = {
        candidate(store, QStringLiteral("b"), QStringLiteral("fr"), 10),
        candidate(store, QStringLiteral("C"), QStringLiteral("en"), 50),
        candidate(store, QStringLiteral("a"), QStringLiteral("en"), 50),
        candidate(store, QStringLiteral("d"), QStringLiteral("en"), 120),
        candidate(store, QStringLiteral("e"), QStringLiteral("en"), -3),
        candidate(store, QStringLiteral("f"), QStringLiteral("pt-BR"), 1),
        candidate(store, QStringLiteral("g"), QStringLiteral("pt"), 0),
    };
    EXPECT_EQ(sortedNames(objects), QStringList({"d", "a", "C", "e", "b", "g", "f"}));
}

TEST(CatalogueSortOrderTest, VideosAreOrderedByTheirTextAloneAndEqualKeysCompareEqual)
{
    TNModelController store;
    VideoFile *zulu = store.insertVideoFile(QStringLiteral("/z.avi"));
    zulu->setName(QStringLiteral("zulu"));
    VideoFile *alpha = store.insertVideoFile(QStringLiteral("/a.avi"));
    alpha->setName(QStringLiteral("Alpha"));
    VideoFile *beta = store.insertVideoFile(QStringLiteral("/b.avi"));
    beta->setName(QStringLiteral("beta"));
    EXPECT_EQ(sortedNames({zulu, alpha, beta}), QStringList({"Alpha", "beta", "zulu"}));

    VideoFile *otherAlpha = store.insertVideoFile(QStringLiteral("/c.avi"));
    otherAlpha->setName(QStringLiteral("ALPHA"));
    EXPECT_EQ(CatalogueSortOrder::compare(*alpha, *otherAlpha), 0);
    EXPECT_FALSE(CatalogueSortOrder::lessThan(*alpha, *otherAlpha));
    EXPECT_FALSE(CatalogueSortOrder::lessThan(*otherAlpha, *alpha));
}

TEST(CatalogueSortOrderTest, NumbersInTheTextCompareByValue)
{
    TNModelController store;
    QList<SubsBase *> videos;
    for (const char *name :
         {"Show Season 10", "show season 2", "Show Season 1", "Show Season 1b"}) {
        VideoFile *video = store.insertVideoFile(QStringLiteral("/tv/") + QLatin1String(name));
        video->setName(QString::fromLatin1(name));
        videos.append(video);
    }
    EXPECT_EQ(sortedNames(videos),
              QStringList({"Show Season 1", "Show Season 1b", "show season 2", "Show Season 10"}));
}

TEST(CatalogueSortOrderTest, CandidateWithoutLanguageSortsWithTheEmptyLanguage)
{
    TNModelController store;
    Subtitle *none = candidate(store, QStringLiteral("none"), std::nullopt, 5);
    Subtitle *english = candidate(store, QStringLiteral("english"), QStringLiteral("en"), 0);
    VideoFile *video = store.insertVideoFile(QStringLiteral("/v.avi"));
    video->setName(QStringLiteral("video"));
    EXPECT_EQ(sortedNames({english, video, none}), QStringList({"none", "video", "english"}));
}

} // namespace
