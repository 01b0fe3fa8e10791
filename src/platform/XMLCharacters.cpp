#include "platform/XMLCharacters.h"

#include <QStringDecoder>

#include <cstring>
#include <string>

namespace {

bool isXmlCharacter(char32_t code)
{
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

void appendUtf8(std::string &out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// A character reference "&#...;" at text, with its length; the length is 0 when text does
// not hold a well-formed one. Numbers past Unicode come back as one past its end.
char32_t characterReference(const char *text, size_t *length)
{
    *length = 0;
    const bool hex = text[2] == 'x';
    const char *digit = text + (hex ? 3 : 2);
    char32_t code = 0;
    const char *start = digit;
    for (;; ++digit) {
        const char c = *digit;
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        if (value < 0)
            break;
        code = qMin<char32_t>(code * (hex ? 16 : 10) + char32_t(value), 0x110000);
    }
    if (digit == start || *digit != ';')
        return 0;
    *length = size_t(digit - text) + 1;
    return code;
}

// A predefined entity reference at text, with its length; 0 when there is none.
char predefinedEntity(const char *text, size_t *length)
{
    static const struct
    {
        const char *name;
        char character;
    } Entities[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&quot;", '"'}};
    for (const auto &entity : Entities) {
        *length = std::strlen(entity.name);
        if (std::strncmp(text, entity.name, *length) == 0)
            return entity.character;
    }
    *length = 0;
    return 0;
}

// What in raw UTF-8 XML forbids, or nothing: control bytes, and the encodings of
// surrogates, U+FFFE and U+FFFF.
const char *forbiddenByte(const unsigned char *text)
{
    if (text[0] < 0x20 && text[0] != '\t' && text[0] != '\n' && text[0] != '\r')
        return "a control character";
    if (text[0] == 0xED && text[1] >= 0xA0 && text[1] <= 0xBF)
        return "a surrogate";
    if (text[0] == 0xEF && text[1] == 0xBF && (text[2] == 0xBE || text[2] == 0xBF))
        return "a noncharacter";
    return nullptr;
}

// Resolves the references in text into out, when asked to and there are any; false with the
// reason when text holds or names a character XML forbids.
bool resolve(const char *text, bool references, std::string *out, bool *changed, QString *problem)
{
    *changed = false;
    out->clear();
    const char *copied = text;
    for (const char *at = text; *at;) {
        if (const char *what = forbiddenByte(reinterpret_cast<const unsigned char *>(at))) {
            *problem = QStringLiteral("The reply holds %1 XML forbids").arg(QLatin1String(what));
            return false;
        }
        if (!references || *at != '&') {
            ++at;
            continue;
        }
        size_t length = 0;
        std::string replacement;
        if (at[1] == '#') {
            const char32_t code = characterReference(at, &length);
            if (length > 0 && !isXmlCharacter(code)) {
                *problem = QStringLiteral("The reply refers to a character XML forbids: %1")
                               .arg(QString::fromLatin1(at, qsizetype(length)));
                return false;
            }
            if (length > 0)
                appendUtf8(replacement, code);
        } else if (const char character = predefinedEntity(at, &length)) {
            replacement = character;
        }
        // Anything else after "&" is kept as written, as the parser would.
        if (length == 0) {
            ++at;
            continue;
        }
        out->append(copied, size_t(at - copied));
        *out += replacement;
        at += length;
        copied = at;
        *changed = true;
    }
    if (*changed)
        out->append(copied);
    return true;
}

template <typename Setter>
bool resolveValue(const char *text, bool references, QString *problem, Setter set)
{
    std::string resolved;
    bool changed = false;
    if (!resolve(text, references, &resolved, &changed, problem))
        return false;
    if (changed)
        set(resolved.c_str());
    return true;
}

} // namespace

namespace XMLCharacters {

QString forbidden(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate())
            return QStringLiteral("an unpaired surrogate");
        if (c == QChar(0xFFFE) || c == QChar(0xFFFF))
            return QStringLiteral("a noncharacter");
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            return QStringLiteral("a control character");
    }
    return QString();
}

bool resolveReferences(pugi::xml_document &document, QString *problem)
{
    // Walked without recursion: a hostile reply may nest as deep as its parser allowed.
    pugi::xml_node node = document.first_child();
    while (node) {
        const pugi::xml_node_type type = node.type();
        if (type == pugi::node_pcdata || type == pugi::node_cdata) {
            // Character data sections are taken as written, but must still be XML.
            if (!resolveValue(node.value(), type == pugi::node_pcdata, problem,
                              [&node](const char *value) { node.set_value(value); }))
                return false;
        }
        for (pugi::xml_attribute attribute : node.attributes()) {
            if (!resolveValue(attribute.value(), true, problem,
                              [&attribute](const char *value) { attribute.set_value(value); }))
                return false;
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling())
            node = node.parent();
        if (node)
            node = node.next_sibling();
    }
    return true;
}

QString fromUtf8(const char *text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(QByteArrayView(text));
}

} // namespace XMLCharacters
