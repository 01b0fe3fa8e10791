#pragma once

#include <QFont>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QUrl>

#include <functional>
#include <optional>

class SubsBase;
class Subtitle;
class VideoFile;

// What the list's cell reports to the list.
class TNCustomCellDelegate
{
public:
    virtual ~TNCustomCellDelegate() = default;
    // A press on the candidate's row was released inside it.
    virtual void checkedButtonForItem(Subtitle *subtitle) = 0;
};

// The one cell that draws every row of the results list across its full width: a video as
// two lines with its reveal and open icons, a candidate as its status image, flag, file name
// and service. It also keeps which icon of which row the mouse is over, and which candidate
// row is being pressed; both belong to that one row only.
class TNCell final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    enum Hover
    {
        HoverNone = 0,
        HoverReveal = 1,
        HoverOpen = 2,
    };

    static constexpr int VideoRowHeight = 38;
    static constexpr int SubtitleRowHeight = 24;

    using UrlOpener = std::function<bool(const QUrl &)>;

    explicit TNCell(QObject *parent = nullptr);

    void setTarget(TNCustomCellDelegate *target) { m_target = target; }
    // How the cell hands a folder or file to the desktop; the desktop's default handler
    // unless set.
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    // The catalogue object a row of the results list shows, or null.
    static SubsBase *objectForIndex(const QModelIndex &index);

    static QRect rectForVideoTextLine1(const QRect &frame, const QSize &textSize);
    static QRect rectForVideoTextLine2(const QRect &frame);
    static QRect rectForReveal(const QRect &frame);
    static QRect rectForPlay(const QRect &frame);
    static QRect rectForSubCheckBox(const QRect &frame);
    static QRect rectForSubFlag(const QRect &frame);
    static QRect rectForSubService(const QRect &frame, const QSize &serviceSize);
    static QRect rectForSubFileName(const QRect &frame, int serviceWidth, int textHeight);
    // Where a video row with candidates shows whether it is expanded.
    static QRect rectForDisclosure(const QRect &frame);

    // The second line of a video row.
    static QString videoFileDetails(const VideoFile &video);
    static QString statusImageName(std::optional<qint32> status, bool pressed);
    // What a candidate's status means to the user; null for a status without a text.
    static QString statusText(qint32 status, const QString &service);
    // Each blank-separated word with its first letter upper case and the rest lower case.
    static QString capitalizedString(const QString &text);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Acts on a click on a video row's icons; true when one was hit.
    bool handleMouseClick(const QPoint &point, const QRect &frame, const SubsBase &object);
    // Which icon of the row lies under the point.
    static Hover iconAt(const QPoint &point, const QRect &frame, const SubsBase &object);

    Hover mouseHover(const QModelIndex &index) const;
    // True when the hovered row or icon changed.
    bool setMouseHover(const QModelIndex &index, Hover hover);
    QModelIndex hoverIndex() const { return m_hoverIndex; }

    // Press tracking on a candidate row.
    void startTracking(const QModelIndex &index);
    bool isTracking() const { return m_tracking; }
    QModelIndex trackedIndex() const { return m_trackedIndex; }
    // Follows the mouse; true when the row's look changed.
    bool trackMouse(bool inside);
    // Ends the press; on a release inside, the target hears of the candidate.
    void stopTracking(bool inside);
    bool isPressed(const QModelIndex &index) const;

private:
    void notifyCheckClick(Subtitle *subtitle);
    void drawVideoFile(QPainter &painter, const QStyleOptionViewItem &option,
                       const QModelIndex &index, const VideoFile &video) const;
    void drawSubtitle(QPainter &painter, const QStyleOptionViewItem &option,
                      const QModelIndex &index, const Subtitle &subtitle) const;
    static void drawImage(QPainter &painter, const QString &name, const QRect &rect, qreal opacity);
    static void drawText(QPainter &painter, const QRect &rect, const QString &text,
                         const QFont &font, const QColor &colour);

    QFont m_line1Font;
    QFont m_line2Font;
    QFont m_serviceFont;
    TNCustomCellDelegate *m_target = nullptr;
    UrlOpener m_openUrl;
    QPersistentModelIndex m_hoverIndex;
    Hover m_mouseHover = HoverNone;
    QPersistentModelIndex m_trackedIndex;
    bool m_tracking = false;
    bool m_mouseDownCheck = false;
};
