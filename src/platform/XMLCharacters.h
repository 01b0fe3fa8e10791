#pragma once

#include <QString>
#include <QStringView>

#include <pugixml.hpp>

// The characters an XML 1.0 document may hold: TAB, LF, CR and everything from U+0020 up,
// except surrogates, U+FFFE and U+FFFF.
namespace XMLCharacters {

// What in text XML cannot carry, in words that reveal no more of it ("a control
// character"); empty when XML carries all of it. Surrogates count only when unpaired.
QString forbidden(QStringView text);

// How replies from outside are parsed: references are left in the text, so that
// resolveReferences() can refuse the ones XML forbids instead of letting "&#0;" cut a value
// short.
constexpr unsigned int ParseOptions = pugi::parse_default & ~pugi::parse_escapes;

// Replaces the character and predefined entity references in every text and attribute of a
// document parsed with ParseOptions. False, with the reason, when a reference or the text
// itself names a character XML forbids; the document is then half resolved and unusable.
// References to other entities stay as they are written.
bool resolveReferences(pugi::xml_document &document, QString *problem);

// UTF-8 text of the parser as a string, a leading U+FEFF included.
QString fromUtf8(const char *text);

} // namespace XMLCharacters
