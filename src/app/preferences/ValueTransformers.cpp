#include "app/preferences/ValueTransformers.h"

#include "app/list/LanguageFlags.h"
#include "catalogue/ServiceKeys.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "services/TNKeychain.h"

#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>

#include <unicode/uloc.h>

namespace {

// Upper case for the first letter of every blank-separated word, lower case for the rest.
QString capitalized(const QString &text)
{
    QString result;
    result.reserve(text.size());
    bool wordStart = true;
    for (const QChar c : text) {
        if (c.isSpace()) {
            wordStart = true;
            result.append(c);
        } else {
            result.append(wordStart ? c.toUpper() : c.toLower());
            wordStart = false;
        }
    }
    return result;
}

QPixmap badge(const QString &text, const QColor &colour)
{
    QPixmap image(32, 16);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(image.rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    QFont font = painter.font();
    font.setPixelSize(10);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}

} // namespace

QString ValueTransformers::languageNameTransform(const QString &code)
{
    if (code.isNull())
        return {};
    // "tk" is this program's code for Ukrainian, but the locale "tk" is Turkmen.
    QString identifier = code == QLatin1String("tk") ? QStringLiteral("uk") : code;
    const QByteArray locale = identifier.replace(QLatin1Char('-'), QLatin1Char('_')).toUtf8();
    UChar name[256];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        uloc_getDisplayName(locale.constData(), locale.constData(), name, 256, &status);
    if (U_FAILURE(status))
        return {};
    return capitalized(QString(reinterpret_cast<const QChar *>(name), length));
}

QPixmap ValueTransformers::countryImageTransformSmall(const QString &code)
{
    return LanguageFlags::flagForLanguage(code, 16, qApp->devicePixelRatio());
}

QPixmap ValueTransformers::countryImageTransform(const QString &code)
{
    return LanguageFlags::flagForLanguage(code, 48, qApp->devicePixelRatio());
}

QPixmap ValueTransformers::imageBindingTransform(const QString &serviceKey)
{
    if (serviceKey == OpenSubtitlesServiceKey)
        return badge(QStringLiteral("OS"), QColor(0x2a, 0x6e, 0xbb));
    if (serviceKey == PodnapisiServiceKey)
        return badge(QStringLiteral("Pod"), QColor(0xd3, 0x5f, 0x1f));
    if (serviceKey == BetaSeriesServiceKey)
        return badge(QStringLiteral("BS"), QColor(0x3c, 0x8d, 0x3c));
    return {};
}

QString PasswordTransform::transformedValue(const QVariant &selection)
{
    if (selection.typeId() != QMetaType::QVariantList)
        return {};
    const QVariantList entries = selection.toList();
    if (entries.isEmpty())
        return {};
    const QVariantMap entry = entries.first().toMap();
    if (!entry.contains(ServiceEntry::NameKey) || !entry.contains(ServiceEntry::UserNameKey))
        return {};
    const QString service = entry.value(ServiceEntry::NameKey).toString();
    const QString account = entry.value(ServiceEntry::UserNameKey).toString();
    m_strKeychain = TNKeychain::keychainNameForService(service, account);
    if (!m_keychain)
        return {};
    return m_keychain->passwordForGenericService(m_strKeychain, account);
}

QUrl PathToStringTransformer::transformedValue(const QString &text)
{
    return text.isNull() ? QUrl() : QUrl(text);
}

QString PathToStringTransformer::reverseTransformedValue(const QUrl &url)
{
    return url.isEmpty() ? QString() : url.toString(QUrl::FullyEncoded);
}

namespace {

struct Registry
{
    QHash<QString, BindingTransformersRegistry::Transformer> transformers;
    bool registered = false;
};

Registry &registry()
{
    static Registry shared;
    return shared;
}

} // namespace

void BindingTransformersRegistry::registerTransformers()
{
    registry().registered = true;
    setValueTransformer(
        [](const QVariant &key) {
            return QVariant(ValueTransformers::imageBindingTransform(key.toString()));
        },
        ImageBindingTransformName);
    setValueTransformer(
        [](const QVariant &code) {
            return QVariant(ValueTransformers::countryImageTransform(code.toString()));
        },
        CountryImageTransformName);
    setValueTransformer(
        [](const QVariant &code) {
            return QVariant(ValueTransformers::languageNameTransform(code.toString()));
        },
        LanguageNameTransformName);
}

void BindingTransformersRegistry::setValueTransformer(Transformer transformer, const QString &name)
{
    registry().transformers.insert(name, std::move(transformer));
}

QVariant BindingTransformersRegistry::transformedValue(const QString &name, const QVariant &value)
{
    if (!registry().registered)
        registerTransformers();
    const Transformer transformer = registry().transformers.value(name);
    return transformer ? transformer(value) : QVariant();
}
