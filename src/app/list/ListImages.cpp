#include "app/list/ListImages.h"

#include "app/list/LanguageFlags.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>

#include <functional>

namespace {

constexpr int StatusSize = 16;
constexpr int IconSize = 14;

constexpr int FlagWidth = 16;

QPixmap drawn(int size, qreal devicePixelRatio, const std::function<void(QPainter &)> &draw)
{
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return pixmap;
}

void drawBox(QPainter &painter, bool pressed)
{
    QLinearGradient fill(0, 1, 0, 15);
    fill.setColorAt(0, pressed ? QColor(196, 196, 196) : QColor(255, 255, 255));
    fill.setColorAt(1, pressed ? QColor(150, 150, 150) : QColor(222, 222, 222));
    painter.setPen(QPen(pressed ? QColor(70, 70, 70) : QColor(120, 120, 120), 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
}

void drawTick(QPainter &painter, const QColor &colour, qreal width)
{
    QPainterPath tick;
    tick.moveTo(4, 8.5);
    tick.lineTo(7, 11.5);
    tick.lineTo(12.5, 4);
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tick);
}

void drawDisc(QPainter &painter, const QColor &light, const QColor &dark)
{
    QLinearGradient fill(0, 1, 0, 15);
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    painter.setPen(QPen(dark.darker(130), 1));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

// A padlock: the account was refused.
void drawLock(QPainter &painter)
{
    drawDisc(painter, QColor(255, 214, 102), QColor(222, 150, 20));
    painter.setPen(QPen(Qt::white, 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(5.5, 3.5, 5, 6), 0, 180 * 16);
    painter.drawLine(QPointF(5.5, 6.5), QPointF(5.5, 8));
    painter.drawLine(QPointF(10.5, 6.5), QPointF(10.5, 8));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(4, 7.5, 8, 5.5), 1, 1);
}

// A clock: the day's downloads are used up.
void drawClock(QPainter &painter)
{
    drawDisc(painter, QColor(255, 184, 92), QColor(226, 110, 20));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(3.5, 3.5, 9, 9));
    painter.setPen(QPen(QColor(140, 70, 10), 1.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(8, 8), QPointF(8, 5));
    painter.drawLine(QPointF(8, 8), QPointF(10.5, 9));
}

void drawCross(QPainter &painter)
{
    drawDisc(painter, QColor(255, 110, 100), QColor(200, 30, 30));
    painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    painter.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

// A magnifier over the file: show it in its folder. Drawn black; the list sets the opacity.
void drawReveal(QPainter &painter)
{
    painter.setPen(QPen(Qt::black, 1.6));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(1.5, 1.5, 8, 8));
    painter.setPen(QPen(Qt::black, 2.4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(8.8, 8.8), QPointF(12.5, 12.5));
}

// A play triangle in a frame: open the video.
void drawPlay(QPainter &painter)
{
    painter.setPen(QPen(Qt::black, 1.4));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(0.7, 1.7, 12.6, 10.6), 2, 2);
    QPainterPath triangle;
    triangle.moveTo(5, 4.3);
    triangle.lineTo(9.8, 7);
    triangle.lineTo(5, 9.7);
    triangle.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawPath(triangle);
}

} // namespace

QPixmap ListImages::named(const QString &name, qreal devicePixelRatio)
{
    if (devicePixelRatio <= 0)
        return {};
    const QString key = QStringLiteral("trovanel-list:%1:%2").arg(name).arg(devicePixelRatio);
    QPixmap image;
    if (QPixmapCache::find(key, &image))
        return image;
    image = make(name, devicePixelRatio);
    if (!image.isNull())
        QPixmapCache::insert(key, image);
    return image;
}

QPixmap ListImages::make(const QString &name, qreal devicePixelRatio)
{
    using Painter = std::function<void(QPainter &)>;
    static const QHash<QString, Painter> status{
        {QStringLiteral("sub_unchecked.png"), [](QPainter &p) { drawBox(p, false); }},
        {QStringLiteral("sub_unchecked_track.png"), [](QPainter &p) { drawBox(p, true); }},
        {QStringLiteral("sub_checked.png"),
         [](QPainter &p) {
             drawBox(p, false);
             drawTick(p, QColor(20, 60, 150), 2);
         }},
        {QStringLiteral("sub_checked_track.png"),
         [](QPainter &p) {
             drawBox(p, true);
             drawTick(p, QColor(10, 30, 90), 2);
         }},
        {QStringLiteral("sub_downloaded.png"),
         [](QPainter &p) {
             drawDisc(p, QColor(120, 210, 90), QColor(40, 150, 40));
             drawTick(p, Qt::white, 1.8);
         }},
        {QStringLiteral("sub_loginerror.png"), drawLock},
        {QStringLiteral("sub_loginerrorlimit.png"), drawClock},
        {QStringLiteral("sub_error.png"), drawCross},
    };
    if (const auto painter = status.constFind(name); painter != status.constEnd())
        return drawn(StatusSize, devicePixelRatio, *painter);
    if (name == QLatin1String("NSRevealFreestandingTemplate"))
        return drawn(IconSize, devicePixelRatio, drawReveal);
    if (name == QLatin1String("NSSlideshowTemplate"))
        return drawn(IconSize, devicePixelRatio, drawPlay);
    if (name.endsWith(QLatin1String(".png")))
        return LanguageFlags::flagForLanguage(name.chopped(4), FlagWidth, devicePixelRatio);
    return {};
}
