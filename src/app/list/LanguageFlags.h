#pragma once

#include <QPixmap>
#include <QString>

// The flag shown for a subtitle language. The flags are named by country, and several
// language codes are another country's code there ("sl" is Sierra Leone, not Slovenia), so
// a table says which country stands for each language.
namespace LanguageFlags {

// The country whose flag stands for the language, or a null string for an unknown code.
QString countryForLanguage(const QString &code);

// The language's 16x11 flag, or a null pixmap.
QPixmap flagForLanguage(const QString &code);

} // namespace LanguageFlags
