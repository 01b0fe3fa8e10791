#pragma once

#include <QPixmap>
#include <QString>

// The images the results list draws, by name: the subtitle status images ("sub_checked.png"
// and the others), the two video row icons ("NSRevealFreestandingTemplate",
// "NSSlideshowTemplate") and language flags ("fr.png"). The program draws the status images
// and icons itself; flags come from the shipped drawings. Each is drawn for the pixel ratio
// of the screen it goes to, so it stays sharp at any scale. Main thread only.
class ListImages final
{
public:
    // The image with that name, or a null pixmap when there is none.
    static QPixmap named(const QString &name, qreal devicePixelRatio = 1);

private:
    static QPixmap make(const QString &name, qreal devicePixelRatio);
};
