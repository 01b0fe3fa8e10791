#include "app/about/HyperlinkButton.h"

#include "app/preferences/ValueTransformers.h"

#include <QDesktopServices>
#include <QUrl>

HyperlinkButton::HyperlinkButton(QWidget *parent) : QPushButton(parent)
{
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    QFont font = this->font();
    font.setPointSizeF(13);
    font.setUnderline(true);
    setFont(font);
    QPalette colours = palette();
    colours.setColor(QPalette::ButtonText, QColor::fromRgbF(0.1f, 0.1f, 1.0f));
    setPalette(colours);
    connect(this, &QPushButton::clicked, this, &HyperlinkButton::openURL);
}

void HyperlinkButton::setTitle(const QString &url)
{
    setText(PathToStringTransformer::reverseTransformedValue(
        PathToStringTransformer::transformedValue(url)));
}

void HyperlinkButton::openURL()
{
    QDesktopServices::openUrl(QUrl(text()));
}
