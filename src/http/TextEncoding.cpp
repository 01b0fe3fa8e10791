#include "http/TextEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

bool TextEncoding::isKnown(const QByteArray &ianaName)
{
    // The converter forgives quotes and spaces around a name; a header must not rely on that.
    static const QByteArray allowed("!#$%&'+-^_`{}~.:");
    for (char c : ianaName) {
        const bool alphanumeric =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && !allowed.contains(c))
            return false;
    }
    return !ianaName.isEmpty() && QStringDecoder(ianaName.constData()).isValid();
}

std::optional<QString> TextEncoding::decode(const QByteArray &data, const QByteArray &ianaName)
{
    QStringDecoder decoder(ianaName.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QByteArray> TextEncoding::encode(const QString &text, const QByteArray &ianaName)
{
    QStringEncoder encoder(ianaName.constData(), QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray data = encoder.encode(text);
    // Some encoders put "?" in place of what they cannot carry and say nothing; the way back
    // shows it.
    if (encoder.hasError() || decode(data, ianaName) != text)
        return std::nullopt;
    return data;
}
