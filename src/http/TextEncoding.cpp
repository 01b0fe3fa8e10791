#include "http/TextEncoding.h"

#include <QStringDecoder>

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
