#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Character sets by their IANA names, as response headers name them.
class TextEncoding
{
public:
    static inline const QByteArray ISOLatin1 = QByteArrayLiteral("ISO-8859-1");
    static inline const QByteArray UTF8 = QByteArrayLiteral("UTF-8");

    enum class Unmappable
    {
        Fail,
        Substitute
    };

    static bool isKnown(const QByteArray &ianaName);
    // Strict: bytes that are invalid in the character set give nullopt.
    static std::optional<QString> decode(const QByteArray &data, const QByteArray &ianaName);
    // Each call gives a whole text: a stateful character set ends back in its first state.
    // Strict unless asked to substitute: text the character set cannot carry gives nullopt.
    static std::optional<QByteArray> encode(const QString &text, const QByteArray &ianaName,
                                            Unmappable unmappable = Unmappable::Fail);
};
