#pragma once

#include <QPixmap>
#include <QString>

// The flag shown for a subtitle language. The flags are named by country, and several
// language codes are another country's code there ("sl" is Sierra Leone, not Slovenia), so
// a table says which country stands for each language.
namespace LanguageFlags {

// The country whose flag stands for the language, or a null string for an unknown code.
QString countryForLanguage(const QString &code);

// The language's flag, width device-independent pixels wide in the flags' 4:3 shape, drawn
// for a screen of that pixel ratio so that it is sharp there, with a faint edge that keeps
// white flags apart from a white background; a null pixmap for an unknown code. Main thread
// only.
QPixmap flagForLanguage(const QString &code, int width, qreal devicePixelRatio);

} // namespace LanguageFlags
