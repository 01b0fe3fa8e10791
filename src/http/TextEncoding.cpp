#include "http/TextEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <unicode/ucnv.h>

#include <algorithm>
#include <memory>

namespace {

// Qt converts these itself. Other names it hands to ICU without room for the escape a
// stateful character set writes before any text, and without the flush that ends it, so
// those go to ICU from here.
std::optional<QStringConverter::Encoding> builtIn(const QByteArray &ianaName)
{
    return QStringConverter::encodingForName(ianaName.constData());
}

struct ConverterClose
{
    void operator()(UConverter *converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterClose>;

Converter openConverter(const QByteArray &ianaName)
{
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(ianaName.constData(), &status));
    if (U_FAILURE(status))
        return {};
    return converter;
}

// One pass through ICU with the end of the input flushed; the output grows as it fills, so
// a large text costs at most twice its converted size.
template <typename Output, typename Unit, typename Source, typename Step>
std::optional<Output> convertWhole(const Source *source, const Source *sourceEnd, Step step)
{
    Output output;
    output.resize(std::max<qsizetype>(sourceEnd - source, 16));
    qsizetype used = 0;
    for (;;) {
        Unit *target = reinterpret_cast<Unit *>(output.data()) + used;
        Unit *const targetEnd = reinterpret_cast<Unit *>(output.data()) + output.size();
        UErrorCode status = U_ZERO_ERROR;
        step(&target, targetEnd, &source, sourceEnd, &status);
        used = target - reinterpret_cast<Unit *>(output.data());
        if (status != U_BUFFER_OVERFLOW_ERROR) {
            if (U_FAILURE(status))
                return std::nullopt;
            output.truncate(used);
            return output;
        }
        output.resize(output.size() * 2);
    }
}

std::optional<QString> decodeWithIcu(const QByteArray &data, const QByteArray &ianaName)
{
    const Converter converter = openConverter(ianaName);
    if (!converter)
        return std::nullopt;
    if (data.isEmpty())
        return QString();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
    return convertWhole<QString, UChar>(data.constData(), data.constData() + data.size(),
                                        [&](UChar **target, UChar *targetEnd, const char **source,
                                            const char *sourceEnd, UErrorCode *error) {
                                            ucnv_toUnicode(converter.get(), target, targetEnd,
                                                           source, sourceEnd, nullptr, true, error);
                                        });
}

std::optional<QByteArray> encodeWithIcu(const QString &text, const QByteArray &ianaName,
                                        TextEncoding::Unmappable unmappable)
{
    const Converter converter = openConverter(ianaName);
    if (!converter)
        return std::nullopt;
    if (unmappable == TextEncoding::Unmappable::Fail) {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                              &status);
    }
    // A stateful character set would write its opening escape even for nothing.
    if (text.isEmpty())
        return QByteArray();
    const auto *units = reinterpret_cast<const UChar *>(text.utf16());
    return convertWhole<QByteArray, char>(units, units + text.size(),
                                          [&](char **target, char *targetEnd, const UChar **source,
                                              const UChar *sourceEnd, UErrorCode *error) {
                                              ucnv_fromUnicode(converter.get(), target, targetEnd,
                                                               source, sourceEnd, nullptr, true,
                                                               error);
                                          });
}

} // namespace

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
    return !ianaName.isEmpty() && (builtIn(ianaName) || openConverter(ianaName));
}

std::optional<QString> TextEncoding::decode(const QByteArray &data, const QByteArray &ianaName)
{
    const auto encoding = builtIn(ianaName);
    if (!encoding)
        return decodeWithIcu(data, ianaName);
    QStringDecoder decoder(*encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QByteArray> TextEncoding::encode(const QString &text, const QByteArray &ianaName,
                                               Unmappable unmappable)
{
    std::optional<QByteArray> data;
    if (const auto encoding = builtIn(ianaName)) {
        QStringEncoder encoder(*encoding, QStringConverter::Flag::Stateless);
        data = encoder.encode(text);
        if (encoder.hasError() && unmappable == Unmappable::Fail)
            return std::nullopt;
    } else {
        data = encodeWithIcu(text, ianaName, unmappable);
    }
    if (!data || unmappable == Unmappable::Substitute)
        return data;
    // Some character sets put "?" in place of what they cannot carry, or leave it out, and
    // say nothing; the way back shows it.
    if (decode(*data, ianaName) != text)
        return std::nullopt;
    return data;
}
