#pragma once

#include <QPixmap>
#include <QString>
#include <QVariant>

class TNKeychain;

// The values the preferences window shows for settings and service entries.
namespace ValueTransformers {

// The language's own name for itself, each word capitalised ("Deutsch", "Português (brasil)");
// null for a null code.
QString languageNameTransform(const QString &code);

// The language's flag as the preferred-language slots show it; null when it has none.
QPixmap countryImageTransform(const QString &code);
// The flag at list size.
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
