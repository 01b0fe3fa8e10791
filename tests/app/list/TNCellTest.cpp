#include "app/list/TNCell.h"
#include "app/list/CatalogueTreeModel.h"
#include "app/list/LanguageFlags.h"
#include "app/list/ListImages.h"
#include "catalogue/SubtitlesLanguages.h"
#include "catalogue/TNModelController.h"

#include <QImage>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

TEST(CellGeometryTest, RectanglesFollowTheRowFrame)
{
    const QRect video(10, 100, 400, 38);
    EXPECT_EQ(TNCell::rectForVideoTextLine1(video, {120, 15}), QRect(15, 102, 399, 15));
    EXPECT_EQ(TNCell::rectForVideoTextLine2(video), QRect(15, 119, 399, 19));
    EXPECT_EQ(TNCell::rectForReveal(video), QRect(376, 112, 14, 14));
    EXPECT_EQ(TNCell::rectForPlay(video), QRect(352, 112, 14, 14));

    const QRect candidate(0, 38, 400, 24);
    EXPECT_EQ(TNCell::rectForSubCheckBox(candidate), QRect(0, 42, 16, 16));
    EXPECT_EQ(TNCell::rectForSubFlag(candidate), QRect(24, 42, 16, 16));
    EXPECT_EQ(TNCell::rectForSubService(candidate, {90, 12}), QRect(290, 44, 90, 12));
    EXPECT_EQ(TNCell::rectForSubFileName(candidate, 90, 14), QRect(45, 43, 239, 14));
    EXPECT_LT(TNCell::rectForSubFileName(candidate, 90, 14).right(),
              TNCell::rectForSubService(candidate, {90, 12}).left());
    EXPECT_LT(TNCell::rectForReveal(video).right(), TNCell::rectForDisclosure(video).left());
}

class CellTest : public ::testing::Test
{
protected:
    VideoFile *video(const QString &name)
    {
        VideoFile *video = catalogue.insertVideoFile(QStringLiteral("/v/") + name);
        video->setName(name);
        return video;
    }

    Subtitle *candidate(VideoFile *parent, const QString &language)
    {
        Subtitle *subtitle = catalogue.insertSubtitle();
        subtitle->setLanguage(language);
        subtitle->setFileName(QStringLiteral("Some.Film.2010.DVDRip.XviD.srt"));
        subtitle->setService(QStringLiteral("podnapisi.net"));
        subtitle->setParent(parent);
        return subtitle;
    }

    // The row as the cell draws it on white.
    QImage draw(const SubsBase *object, int height)
    {
        QImage image(400, height, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.widget = &view;
        QPainter painter(&image);
        cell.paint(&painter, option, model.indexForObject(object));
        return image;
    }

    static int inkIn(const QImage &image, const QRect &rect)
    {
        int ink = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                ink += 255 - qGray(image.pixel(x, y));
        return ink;
    }

    TNModelController catalogue;
    CatalogueTreeModel model{catalogue};
    QTreeView view;
    TNCell cell;
};

TEST_F(CellTest, TheSecondLineDescribesTheShowOrTheFilm)
{
    VideoFile *office = video(QStringLiteral("the office"));
    office->setSeason(2);
    office->setEpisode(5);
    EXPECT_EQ(TNCell::videoFileDetails(*office), "TV Show: The Office. Season 2 Episode 5");

    VideoFile *inception = video(QStringLiteral("inception"));
    inception->setYear(2010);
    EXPECT_EQ(TNCell::videoFileDetails(*inception), "Movie: Inception. Year:  2010");
    inception->setSeason(1);
    EXPECT_EQ(TNCell::videoFileDetails(*inception), "Movie: Inception. Year:  2010")
        << "a season without an episode is no show";

    VideoFile *plain = video(QStringLiteral("NCIS los ANGELES"));
    EXPECT_EQ(TNCell::videoFileDetails(*plain), "Ncis Los Angeles.  ");
    plain->setName(std::nullopt);
    EXPECT_EQ(TNCell::videoFileDetails(*plain), ".  ");

    EXPECT_EQ(TNCell::capitalizedString(QStringLiteral("rock'n-ROLL\tfilm  x")),
              "Rock'n-roll\tFilm  X");
}

TEST_F(CellTest, StatusImagesFollowTheStatusAndThePress)
{
    const QList<std::tuple<std::optional<qint32>, bool, QString>> cases{
        {std::nullopt, false, "sub_unchecked.png"},
        {0, false, "sub_unchecked.png"},
        {0, true, "sub_unchecked_track.png"},
        {1, true, "sub_loginerror.png"},
        {2, false, "sub_downloaded.png"},
        {3, false, "sub_loginerrorlimit.png"},
        {4, false, "sub_checked.png"},
        {4, true, "sub_checked_track.png"},
        {5, false, "sub_error.png"},
        {7, true, "sub_error.png"},
        {12, false, "sub_error.png"},
    };
    for (const auto &[status, pressed, name] : cases) {
        EXPECT_EQ(TNCell::statusImageName(status, pressed), name);
        const QPixmap image = ListImages::named(name);
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        EXPECT_EQ(image.size(), QSize(16, 16));
        // Drawn anew for a denser screen, not blown up.
        const QPixmap dense = ListImages::named(name, 2);
        EXPECT_EQ(dense.size(), QSize(32, 32));
        EXPECT_EQ(dense.deviceIndependentSize(), QSizeF(16, 16));
    }
    EXPECT_FALSE(ListImages::named(QStringLiteral("NSRevealFreestandingTemplate")).isNull());
    EXPECT_FALSE(ListImages::named(QStringLiteral("NSSlideshowTemplate")).isNull());
    EXPECT_TRUE(ListImages::named(QStringLiteral("sub_unknown.png")).isNull());
    EXPECT_TRUE(ListImages::named(QStringLiteral("xx.png")).isNull());
}

TEST_F(CellTest, EveryLanguageHasItsOwnFlag)
{
    // Codes that are another country's file name among the flags.
    EXPECT_EQ(LanguageFlags::countryForLanguage(QStringLiteral("sl")), "si");
    EXPECT_EQ(LanguageFlags::countryForLanguage(QStringLiteral("bs")), "ba");
    EXPECT_EQ(LanguageFlags::countryForLanguage(QStringLiteral("cs")), "cz");
    EXPECT_EQ(LanguageFlags::countryForLanguage(QStringLiteral("sv")), "se");
    EXPECT_EQ(LanguageFlags::countryForLanguage(QStringLiteral("tk")), "ua");
    EXPECT_TRUE(LanguageFlags::countryForLanguage(QStringLiteral("xx")).isNull());

    const QStringList languages = SubtitlesLanguages::sharedInstance().supportedLanguages();
    ASSERT_EQ(languages.size(), 33);
    QSet<QString> countries;
    for (const QString &language : languages) {
        countries.insert(LanguageFlags::countryForLanguage(language));
        const QPixmap flag = ListImages::named(language + QStringLiteral(".png"), 2);
        EXPECT_EQ(flag.size(), QSize(32, 24)) << language.toStdString();
        EXPECT_EQ(flag.deviceIndependentSize(), QSizeF(16, 12));
    }
    EXPECT_EQ(countries.size(), 33);
}

TEST_F(CellTest, ACandidateRowDrawsWhatItHas)
{
    VideoFile *film = video(QStringLiteral("film"));
    Subtitle *french = candidate(film, QStringLiteral("fr"));
    const QRect frame(0, 0, 400, 24);
    const QImage drawn = draw(french, 24);
    EXPECT_GT(inkIn(drawn, TNCell::rectForSubFlag(frame)), 0);
    EXPECT_GT(inkIn(drawn, TNCell::rectForSubCheckBox(frame)), 0);
    EXPECT_GT(inkIn(drawn, QRect(45, 0, 100, 24)), 0) << "the file name";
    EXPECT_GT(inkIn(drawn, QRect(300, 0, 80, 24)), 0) << "the service";

    Subtitle *unknown = candidate(film, QStringLiteral("xx"));
    unknown->setService(std::nullopt);
    const QImage withoutFlag = draw(unknown, 24);
    EXPECT_EQ(inkIn(withoutFlag, TNCell::rectForSubFlag(frame)), 0);
    EXPECT_EQ(inkIn(withoutFlag, QRect(300, 0, 100, 24)), 0);
    EXPECT_EQ(withoutFlag.copy(TNCell::rectForSubCheckBox(frame)),
              drawn.copy(TNCell::rectForSubCheckBox(frame)));

    // A long name stops short of the service name.
    unknown->setService(QStringLiteral("podnapisi.net"));
    unknown->setFileName(QString());
    const QImage serviceOnly = draw(unknown, 24);
    unknown->setFileName(QString(300, QLatin1Char('W')));
    const QImage crowded = draw(unknown, 24);
    QFont serviceFont;
    serviceFont.setPixelSize(10);
    const int serviceWidth = QFontMetrics(serviceFont).horizontalAdvance("podnapisi.net");
    const QRect service(380 - serviceWidth - 4, 0, serviceWidth + 24, 24);
    EXPECT_EQ(crowded.copy(service), serviceOnly.copy(service));
    EXPECT_GT(inkIn(crowded, QRect(45, 0, service.left() - 45, 24)),
              inkIn(serviceOnly, QRect(45, 0, service.left() - 45, 24)));
}

TEST_F(CellTest, OnlyThePressedRowDrawsPressed)
{
    VideoFile *film = video(QStringLiteral("film"));
    Subtitle *pressed = candidate(film, QStringLiteral("fr"));
    Subtitle *other = candidate(film, QStringLiteral("de"));
    const QRect box = TNCell::rectForSubCheckBox(QRect(0, 0, 400, 24));
    const QImage plain = draw(other, 24).copy(box);

    cell.startTracking(model.indexForObject(pressed));
    EXPECT_NE(draw(pressed, 24).copy(box), plain);
    EXPECT_EQ(draw(other, 24).copy(box), plain);
    EXPECT_TRUE(cell.trackMouse(false));
    EXPECT_FALSE(cell.trackMouse(false));
    EXPECT_EQ(draw(pressed, 24).copy(box), plain);
    cell.stopTracking(false);
    EXPECT_FALSE(cell.isTracking());
}

TEST_F(CellTest, OnlyTheHoveredIconOfTheHoveredRowIsDarker)
{
    VideoFile *hovered = video(QStringLiteral("one"));
    VideoFile *other = video(QStringLiteral("two"));
    const QRect frame(0, 0, 400, 38);
    const QRect reveal = TNCell::rectForReveal(frame);
    const QRect play = TNCell::rectForPlay(frame);
    const QImage before = draw(hovered, 38);

    EXPECT_TRUE(cell.setMouseHover(model.indexForObject(hovered), TNCell::HoverReveal));
    EXPECT_FALSE(cell.setMouseHover(model.indexForObject(hovered), TNCell::HoverReveal));
    const QImage after = draw(hovered, 38);
    EXPECT_GT(inkIn(after, reveal), inkIn(before, reveal));
    EXPECT_EQ(inkIn(after, play), inkIn(before, play));
    EXPECT_EQ(draw(other, 38).copy(reveal), before.copy(reveal))
        << "same look for a row without the mouse";

    EXPECT_TRUE(cell.setMouseHover(model.indexForObject(hovered), TNCell::HoverNone));
    EXPECT_EQ(draw(hovered, 38), before);
}

TEST_F(CellTest, IconClicksOpenTheFolderOrTheFile)
{
    QList<QUrl> opened;
    cell.setUrlOpener([&](const QUrl &url) {
        opened.append(url);
        return false;
    });
    VideoFile *film = video(QStringLiteral("Film.mkv"));
    const QRect frame(0, 50, 400, 38);
    EXPECT_TRUE(cell.handleMouseClick(TNCell::rectForReveal(frame).center(), frame, *film));
    EXPECT_TRUE(cell.handleMouseClick(TNCell::rectForPlay(frame).center(), frame, *film));
    EXPECT_FALSE(cell.handleMouseClick(frame.center(), frame, *film));
    EXPECT_FALSE(cell.handleMouseClick(TNCell::rectForReveal(frame).center(), frame,
                                       *candidate(film, QStringLiteral("en"))));
    EXPECT_EQ(opened, QList<QUrl>({QUrl::fromLocalFile(QStringLiteral("/v")),
                                   QUrl::fromLocalFile(QStringLiteral("/v/Film.mkv"))}));

    film->setFileName(std::nullopt);
    EXPECT_TRUE(cell.handleMouseClick(TNCell::rectForReveal(frame).center(), frame, *film));
    EXPECT_EQ(opened.size(), 2) << "no path, nothing to open";
}

} // namespace
