#include "services/SubtitleFileName.h"

#include "platform/PathUtilities.h"

namespace {

const QChar Substitute = QLatin1Char('_');

bool startsPair(const QString &text, qsizetype at)
{
    return text.at(at).isHighSurrogate() && at + 1 < text.size() &&
           text.at(at + 1).isLowSurrogate();
}

bool isHidden(QChar unit)
{
    const QChar::Category category = unit.category();
    return unit.isSurrogate() || unit.isNonCharacter() || category == QChar::Other_Control ||
           category == QChar::Separator_Line || category == QChar::Separator_Paragraph;
}

} // namespace

namespace SubtitleFileName {

QString visible(const QString &name)
{
    QString shown;
    shown.reserve(name.size());
    for (qsizetype at = 0; at < name.size(); ++at) {
        if (startsPair(name, at)) {
            const char32_t code = QChar::surrogateToUcs4(name.at(at), name.at(at + 1));
            if (QChar::isNonCharacter(code))
                shown += Substitute;
            else
                shown += name.mid(at, 2);
            ++at;
        } else {
            shown += isHidden(name.at(at)) ? Substitute : name.at(at);
        }
    }
    return shown;
}

QString fitted(const QString &stem, const QString &suffix)
{
    const QString whole = stem + suffix;
    if (whole.toUtf8().size() <= LongestName)
        return whole;
    const qsizetype suffixSize = suffix.toUtf8().size();
    if (suffixSize > LongestName / 2)
        return PathUtilities::leftWithinBytes(whole, LongestName);
    return PathUtilities::leftWithinBytes(stem, LongestName - suffixSize) + suffix;
}

} // namespace SubtitleFileName
