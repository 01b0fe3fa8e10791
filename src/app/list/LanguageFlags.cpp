#include "app/list/LanguageFlags.h"

#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

namespace {

const QHash<QString, QString> &countries()
{
    static const QHash<QString, QString> table{
        {QStringLiteral("en"), QStringLiteral("gb")},
        {QStringLiteral("es"), QStringLiteral("es")},
        {QStringLiteral("da"), QStringLiteral("dk")},
        {QStringLiteral("de"), QStringLiteral("de")},
        {QStringLiteral("fi"), QStringLiteral("fi")},
        {QStringLiteral("pt"), QStringLiteral("pt")},
        {QStringLiteral("it"), QStringLiteral("it")},
        {QStringLiteral("pt-BR"), QStringLiteral("br")},
        {QStringLiteral("zh-Hans"), QStringLiteral("cn")},
        {QStringLiteral("fr"), QStringLiteral("fr")},
        {QStringLiteral("bs"), QStringLiteral("ba")},
        {QStringLiteral("bg"), QStringLiteral("bg")},
        {QStringLiteral("hr"), QStringLiteral("hr")},
        {QStringLiteral("cs"), QStringLiteral("cz")},
        {QStringLiteral("et"), QStringLiteral("ee")},
        {QStringLiteral("el"), QStringLiteral("gr")},
        {QStringLiteral("is"), QStringLiteral("is")},
        {QStringLiteral("lv"), QStringLiteral("lv")},
        {QStringLiteral("lt"), QStringLiteral("lt")},
        {QStringLiteral("mk"), QStringLiteral("mk")},
        {QStringLiteral("no"), QStringLiteral("no")},
        {QStringLiteral("pl"), QStringLiteral("pl")},
        {QStringLiteral("ro"), QStringLiteral("ro")},
        {QStringLiteral("ru"), QStringLiteral("ru")},
        {QStringLiteral("sr"), QStringLiteral("rs")},
        {QStringLiteral("sk"), QStringLiteral("sk")},
        {QStringLiteral("sl"), QStringLiteral("si")},
        {QStringLiteral("sv"), QStringLiteral("se")},
        {QStringLiteral("tr"), QStringLiteral("tr")},
        // The application's code for Ukrainian.
        {QStringLiteral("tk"), QStringLiteral("ua")},
        {QStringLiteral("nl"), QStringLiteral("nl")},
        {QStringLiteral("ar"), QStringLiteral("sa")},
        {QStringLiteral("he"), QStringLiteral("il")},
    };
    return table;
}

} // namespace

QString LanguageFlags::countryForLanguage(const QString &code)
{
    return countries().value(code);
}

QPixmap LanguageFlags::flagForLanguage(const QString &code, int width, qreal devicePixelRatio)
{
    const QString country = countryForLanguage(code);
    if (country.isNull() || width <= 0 || devicePixelRatio <= 0)
        return {};
    const QString key =
        QStringLiteral("trovanel-flag:%1:%2:%3").arg(country).arg(width).arg(devicePixelRatio);
    QPixmap flag;
    if (QPixmapCache::find(key, &flag))
        return flag;
    QSvgRenderer drawing(QStringLiteral(":/flags/%1.svg").arg(country));
    if (!drawing.isValid())
        return {};
    const QRectF area(0, 0, width, width * 3 / 4.0);
    flag = QPixmap((area.size() * devicePixelRatio).toSize());
    flag.setDevicePixelRatio(devicePixelRatio);
    flag.fill(Qt::transparent);
    QPainter painter(&flag);
    painter.setRenderHint(QPainter::Antialiasing);
    // Some drawings reach past their frame.
    painter.setClipRect(area);
    drawing.render(&painter, area);
    const qreal halfPixel = 0.5 / devicePixelRatio;
    painter.setPen(QPen(QColor(0, 0, 0, 70), 0));
    painter.drawRect(area.adjusted(halfPixel, halfPixel, -halfPixel, -halfPixel));
    painter.end();
    QPixmapCache::insert(key, flag);
    return flag;
}
