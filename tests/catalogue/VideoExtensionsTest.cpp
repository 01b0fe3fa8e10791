#include "catalogue/VideoExtensions.h"

#include <gtest/gtest.h>

TEST(VideoExtensions, SetsHoldTheListedExtensions)
{
    EXPECT_EQ(VideoExtensions::getVideoExtensions().size(), 45);
    EXPECT_EQ(VideoExtensions::getSubtitleExtensions().size(), 13);
    EXPECT_EQ(VideoExtensions::supportedVideoExtensions().size(), 45);
    EXPECT_EQ(VideoExtensions::supportedSubtitleExtensions().size(), 13);
    for (const QString &extension : VideoExtensions::supportedVideoExtensions()) {
        EXPECT_EQ(extension, extension.toLower());
        EXPECT_FALSE(VideoExtensions::getSubtitleExtensions().contains(extension));
    }
}

TEST(VideoExtensions, ClassifiesByTheLastExtensionIgnoringCase)
{
    const struct
    {
        const char *path;
        bool video;
        bool subtitle;
    } cases[] = {
        {"/v/Movie.MKV", true, false},
        {"/v/Movie.2010.mp4v", true, false},
        {"/v/Show.S01E01.en.srt", false, true},
        {"/v/Show.S01E01.ZIP", false, true},
        {"/v/notes.txt", false, true},
        {"/v/Movie", false, false},
        {"/v/Movie.", false, false},
        {"/v/archive.avi.gz", false, false},
        {"/v/folder.avi/readme", false, false},
        {"/v/._Movie.avi", true, false},
        {"Clip.3GP", true, false},
        {"", false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(VideoExtensions::isVideoFile(path), c.video);
        EXPECT_EQ(VideoExtensions::isSubtitleFile(path), c.subtitle);
    }
}
