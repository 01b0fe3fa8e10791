#include "app/list/TNCell.h"

#include "app/list/CatalogueTreeModel.h"
#include "app/list/ListImages.h"
#include "catalogue/Subtitle.h"
#include "catalogue/VideoFile.h"
#include "platform/Logging.h"
#include "platform/PathUtilities.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPainter>
#include <QTreeView>

namespace {

const QColor Line2Colour = QColor::fromRgbF(30 / 255.0f, 0, 147 / 255.0f, 1);

// Sizes are in device-independent pixels, the unit the row heights and geometry use.
QFont fontOfSize(int pixels)
{
    QFont font;
    font.setPixelSize(pixels);
    return font;
}

QSize textSize(const QFont &font, const QString &text)
{
    const QFontMetrics metrics(font);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

// Text never runs under the icons at the right of a video row.
QRect clearOfIcons(QRect rect, const QRect &frame)
{
    rect.setRight(std::min(rect.right(), TNCell::rectForPlay(frame).left() - 6));
    return rect;
}

} // namespace

TNCell::TNCell(QObject *parent)
    : QStyledItemDelegate(parent), m_line1Font(fontOfSize(13)), m_line2Font(fontOfSize(12)),
      m_serviceFont(fontOfSize(10)), m_openUrl(&QDesktopServices::openUrl)
{}

SubsBase *TNCell::objectForIndex(const QModelIndex &index)
{
    const auto *model = qobject_cast<const CatalogueTreeModel *>(index.model());
    return model ? model->objectForIndex(index) : nullptr;
}

QRect TNCell::rectForVideoTextLine1(const QRect &frame, const QSize &textSize)
{
    return {frame.x() + 5, frame.y() + (frame.height() / 2 - textSize.height()) / 2,
            frame.width() - 1, textSize.height()};
}

QRect TNCell::rectForVideoTextLine2(const QRect &frame)
{
    return {frame.x() + 5, frame.y() + frame.height() / 2, frame.width() - 1, frame.height() / 2};
}

QRect TNCell::rectForReveal(const QRect &frame)
{
    return {frame.x() + frame.width() - 34, frame.y() + (frame.height() - 14) / 2, 14, 14};
}

QRect TNCell::rectForPlay(const QRect &frame)
{
    return {frame.x() + frame.width() - 58, frame.y() + (frame.height() - 14) / 2, 14, 14};
}

QRect TNCell::rectForSubCheckBox(const QRect &frame)
{
    return {frame.x(), frame.y() + (frame.height() - 16) / 2, 16, 16};
}

QRect TNCell::rectForSubFlag(const QRect &frame)
{
    return {frame.x() + 24, frame.y() + (frame.height() - 16) / 2, 16, 16};
}

QRect TNCell::rectForSubService(const QRect &frame, const QSize &serviceSize)
{
    return {frame.x() + frame.width() - serviceSize.width() - 20,
            frame.y() + (frame.height() - serviceSize.height()) / 2, serviceSize.width(),
            serviceSize.height()};
}

QRect TNCell::rectForSubFileName(const QRect &frame, int serviceWidth, int textHeight)
{
    const QRect flag = rectForSubFlag(frame);
    return {flag.x() + flag.width() + 5, frame.y() + (frame.height() - textHeight) / 2,
            frame.width() - serviceWidth - 71, textHeight};
}

QRect TNCell::rectForDisclosure(const QRect &frame)
{
    return {frame.x() + frame.width() - 16, frame.y() + (frame.height() - 10) / 2, 10, 10};
}

QString TNCell::capitalizedString(const QString &text)
{
    QString result = text;
    bool wordStart = true;
    for (QChar &c : result) {
        if (c.isSpace()) {
            wordStart = true;
            continue;
        }
        c = wordStart ? c.toUpper() : c.toLower();
        wordStart = false;
    }
    return result;
}

QString TNCell::videoFileDetails(const VideoFile &video)
{
    const QString name = capitalizedString(video.name().value_or(QString()));
    if (video.season() && video.episode()) {
        return tr("TV Show: %1. Season %2 Episode %3")
            .arg(name, QString::number(*video.season()), QString::number(*video.episode()));
    }
    const std::optional<qint32> year = video.year();
    return QStringLiteral("%1%2. %3 %4")
        .arg(year ? tr("Movie: ") : QString(), name, year ? tr("Year: ") : QString(),
             year ? QString::number(*year) : QString());
}

QString TNCell::statusImageName(std::optional<qint32> status, bool pressed)
{
    switch (status.value_or(SubtitleStatusNotSelected)) {
    case SubtitleStatusNotSelected:
        return pressed ? QStringLiteral("sub_unchecked_track.png")
                       : QStringLiteral("sub_unchecked.png");
    case SubtitleStatusLoginError:
        return QStringLiteral("sub_loginerror.png");
    case SubtitleStatusDownloaded:
        return QStringLiteral("sub_downloaded.png");
    case SubtitleStatusDailyLimit:
        return QStringLiteral("sub_loginerrorlimit.png");
    case SubtitleStatusSelected:
        return pressed ? QStringLiteral("sub_checked_track.png")
                       : QStringLiteral("sub_checked.png");
    default:
        return QStringLiteral("sub_error.png");
    }
}

QString TNCell::statusText(qint32 status, const QString &service)
{
    switch (status) {
    case SubtitleStatusNotSelected:
        return tr("Subtitle Not selected");
    case SubtitleStatusLoginError:
        return tr("Login error: check the account in Preferences");
    case SubtitleStatusDownloaded:
        return tr("Subtitle downloaded successfully");
    case SubtitleStatusDailyLimit:
        return tr("Could not download Subtitle because\nyou have reached the server's daily "
                  "download limit");
    case SubtitleStatusSelected:
        return tr("Selected to download from %1").arg(service);
    case SubtitleStatusWriteFailed:
        return tr("Could not copy Subtitle file to local hard drive");
    case SubtitleStatusDownloadFailed:
        return tr("Could not download Subtitle from server");
    default:
        return {};
    }
}

QSize TNCell::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const SubsBase *object = objectForIndex(index);
    const bool leaf = object && object->isLeaf().value_or(false);
    return {option.rect.width(), leaf ? SubtitleRowHeight : VideoRowHeight};
}

void TNCell::paint(QPainter *painter, const QStyleOptionViewItem &option,
                   const QModelIndex &index) const
{
    const SubsBase *object = objectForIndex(index);
    painter->save();
    if (const auto *video = dynamic_cast<const VideoFile *>(object))
        drawVideoFile(*painter, option, index, *video);
    else if (const auto *subtitle = dynamic_cast<const Subtitle *>(object))
        drawSubtitle(*painter, option, index, *subtitle);
    painter->restore();
    // The row the keyboard is on; the style shows it once the keyboard moved the focus.
    if (object && (option.state & QStyle::State_HasFocus)) {
        QStyleOptionFocusRect focus;
        focus.state = option.state;
        focus.palette = option.palette;
        focus.rect = option.rect.adjusted(1, 1, -1, -1);
        const QWidget *widget = option.widget;
        (widget ? widget->style() : QApplication::style())
            ->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

void TNCell::drawVideoFile(QPainter &painter, const QStyleOptionViewItem &option,
                           const QModelIndex &index, const VideoFile &video) const
{
    const QRect frame = option.rect;
    // Video rows head their group, like a section header.
    const bool selected = option.state & QStyle::State_Selected;
    QLinearGradient background(0, frame.top(), 0, frame.bottom());
    const QColor top =
        selected ? option.palette.highlight().color().lighter(170) : QColor(236, 239, 243);
    background.setColorAt(0, top);
    background.setColorAt(1, top.darker(108));
    painter.fillRect(frame, background);
    painter.setPen(QColor(200, 204, 210));
    painter.drawLine(frame.bottomLeft(), frame.bottomRight());

    const QString line1 = PathUtilities::lastPathComponent(video.fileName().value_or(QString()));
    const QRect line1Rect = rectForVideoTextLine1(frame, textSize(m_line1Font, line1));
    drawText(painter, clearOfIcons(line1Rect, frame), line1, m_line1Font, Qt::black);
    drawText(painter, clearOfIcons(rectForVideoTextLine2(frame), frame), videoFileDetails(video),
             m_line2Font, Line2Colour);

    const Hover hover = mouseHover(index);
    drawImage(painter, QStringLiteral("NSRevealFreestandingTemplate"), rectForReveal(frame),
              hover == HoverReveal ? 0.7 : 0.4);
    drawImage(painter, QStringLiteral("NSSlideshowTemplate"), rectForPlay(frame),
              hover == HoverOpen ? 0.7 : 0.4);

    if (!index.model()->hasChildren(index))
        return;
    const auto *view = qobject_cast<const QTreeView *>(option.widget);
    const bool expanded = view && view->isExpanded(index);
    const QRectF box = rectForDisclosure(frame);
    QPolygonF triangle;
    if (expanded)
        triangle << box.topLeft() + QPointF(0, 2) << box.topRight() + QPointF(0, 2)
                 << QPointF(box.center().x(), box.bottom() - 1);
    else
        triangle << box.topLeft() + QPointF(2, 0) << box.bottomLeft() + QPointF(2, 0)
                 << QPointF(box.right() - 1, box.center().y());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(110, 110, 110));
    painter.drawPolygon(triangle);
}

void TNCell::drawSubtitle(QPainter &painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index, const Subtitle &subtitle) const
{
    const QRect frame = option.rect;
    drawImage(painter, subtitle.language() + QStringLiteral(".png"), rectForSubFlag(frame), 1);

    const QString service = subtitle.service().value_or(QString());
    const QSize serviceSize = textSize(m_serviceFont, service);
    drawText(painter, rectForSubService(frame, serviceSize), service, m_serviceFont, Qt::blue);

    const QString fileName = subtitle.fileName().value_or(QString());
    const QRect fileNameRect =
        rectForSubFileName(frame, serviceSize.width(), textSize(m_line2Font, fileName).height());
    drawText(painter, fileNameRect, fileName, m_line2Font, Line2Colour);

    drawImage(painter, statusImageName(subtitle.status(), isPressed(index)),
              rectForSubCheckBox(frame), 1);
}

void TNCell::drawImage(QPainter &painter, const QString &name, const QRect &rect, qreal opacity)
{
    const QPixmap image = ListImages::named(name, painter.device()->devicePixelRatio());
    if (image.isNull())
        return;
    // Smaller images, such as the 16x12 flags, sit centred and are never stretched.
    const QSize size = image.deviceIndependentSize().toSize().boundedTo(rect.size());
    QRect target(QPoint(), size);
    target.moveCenter(rect.center());
    painter.setOpacity(opacity);
    painter.drawPixmap(target, image);
    painter.setOpacity(1);
}

void TNCell::drawText(QPainter &painter, const QRect &rect, const QString &text, const QFont &font,
                      const QColor &colour)
{
    if (text.isEmpty() || rect.width() <= 0)
        return;
    painter.setFont(font);
    // Text measured to fit its rectangle stays whole.
    const QFontMetrics metrics(font);
    const QString shown = metrics.horizontalAdvance(text) <= rect.width()
                              ? text
                              : metrics.elidedText(text, Qt::ElideMiddle, rect.width());
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    painter.setPen(Qt::white);
    painter.drawText(rect.translated(0, 1), flags, shown);
    painter.setPen(colour);
    painter.drawText(rect, flags, shown);
}

bool TNCell::handleMouseClick(const QPoint &point, const QRect &frame, const SubsBase &object)
{
    const auto *video = dynamic_cast<const VideoFile *>(&object);
    if (!video)
        return false;
    const QString path = video->fileName().value_or(QString());
    QUrl target;
    if (rectForReveal(frame).contains(point)) {
        qCInfo(lcApp).noquote() << "Clicked on reveal in finder:" << path;
        target = QUrl::fromLocalFile(PathUtilities::deletingLastPathComponent(path));
    } else if (rectForPlay(frame).contains(point)) {
        target = QUrl::fromLocalFile(path);
    } else {
        return false;
    }
    // A video without a path has nothing to show; the click still belongs to the icon.
    if (!path.isEmpty() && !m_openUrl(target))
        qCWarning(lcApp).noquote() << "Could not open" << target.toLocalFile();
    return true;
}

TNCell::Hover TNCell::iconAt(const QPoint &point, const QRect &frame, const SubsBase &object)
{
    if (!dynamic_cast<const VideoFile *>(&object))
        return HoverNone;
    if (rectForReveal(frame).contains(point))
        return HoverReveal;
    if (rectForPlay(frame).contains(point))
        return HoverOpen;
    return HoverNone;
}

TNCell::Hover TNCell::mouseHover(const QModelIndex &index) const
{
    return index.isValid() && index == m_hoverIndex ? m_mouseHover : HoverNone;
}

bool TNCell::setMouseHover(const QModelIndex &index, Hover hover)
{
    const QModelIndex row = hover == HoverNone ? QModelIndex() : index;
    if (row == m_hoverIndex && hover == m_mouseHover)
        return false;
    m_hoverIndex = row;
    m_mouseHover = hover;
    return true;
}

void TNCell::startTracking(const QModelIndex &index)
{
    m_trackedIndex = index;
    m_tracking = true;
    m_mouseDownCheck = dynamic_cast<Subtitle *>(objectForIndex(index)) != nullptr;
}

bool TNCell::trackMouse(bool inside)
{
    if (!m_tracking || !m_trackedIndex.isValid() || inside == m_mouseDownCheck)
        return false;
    m_mouseDownCheck = inside;
    return true;
}

void TNCell::stopTracking(bool inside)
{
    trackMouse(inside);
    auto *subtitle = dynamic_cast<Subtitle *>(objectForIndex(m_trackedIndex));
    const bool releasedInside = m_mouseDownCheck && subtitle;
    m_tracking = false;
    m_mouseDownCheck = false;
    m_trackedIndex = QPersistentModelIndex();
    if (releasedInside)
        notifyCheckClick(subtitle);
}

bool TNCell::isPressed(const QModelIndex &index) const
{
    return m_tracking && m_mouseDownCheck && index.isValid() && index == m_trackedIndex;
}

void TNCell::notifyCheckClick(Subtitle *subtitle)
{
    if (m_target)
        m_target->checkedButtonForItem(subtitle);
}
