#pragma once

#include <QPixmap>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>

class TNKeychain;

// The values the preferences window shows for settings and service entries.
namespace ValueTransformers {

// The language's own name for itself, each word capitalised ("Deutsch", "Português (brasil)");
// null for a null code.
QString languageNameTransform(const QString &code);

// The language's flag as the preferred-language slots show it, 48x36; null when it has none.
// Both sizes are drawn for the densest screen, so they are sharp on every screen.
QPixmap countryImageTransform(const QString &code);
// The flag at list size, 16x12.
QPixmap countryImageTransformSmall(const QString &code);

// The badge of a service, by its exact key; null for any other text.
QPixmap imageBindingTransform(const QString &serviceKey);

} // namespace ValueTransformers

// The password of the first of the selected service entries, read from the keychain.
class PasswordTransform final
{
public:
    explicit PasswordTransform(TNKeychain *keychain) : m_keychain(keychain) {}

    // Null unless the value is a non-empty list whose first entry has a "Name" and a
    // "UserName"; then the stored password, or null when there is none.
    QString transformedValue(const QVariant &selection);
    // The keychain item name last looked up.
    QString strKeychain() const { return m_strKeychain; }

private:
    TNKeychain *m_keychain;
    QString m_strKeychain;
};

// A text as the URL it names, and a URL as the text that writes it out in full.
class PathToStringTransformer final
{
public:
    PathToStringTransformer() = delete;

    // An empty URL for a null text.
    static QUrl transformedValue(const QString &text);
    // Percent-encoded where a URL must be; null for an empty URL.
    static QString reverseTransformedValue(const QUrl &url);
};

// The transformers that views take by name, as a layout names them. Main thread only.
class BindingTransformersRegistry final
{
public:
    using Transformer = std::function<QVariant(const QVariant &)>;

    static inline const QString ImageBindingTransformName = QStringLiteral("ImageBindingTransform");
    static inline const QString CountryImageTransformName = QStringLiteral("CountryImageTransform");
    static inline const QString LanguageNameTransformName = QStringLiteral("LanguageNameTransform");

    BindingTransformersRegistry() = delete;

    // Registers the service badge, the flag and the language name under their names, in place
    // of whatever stood there. The first lookup does it when nobody did before.
    static void registerTransformers();
    static void setValueTransformer(Transformer transformer, const QString &name);
    // The value through the transformer of that name; null when none is registered.
    static QVariant transformedValue(const QString &name, const QVariant &value);
};
