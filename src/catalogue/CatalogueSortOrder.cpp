#include "catalogue/CatalogueSortOrder.h"

#include "catalogue/SubsBase.h"

#include <QCollator>

namespace {

// Numbers in the text compare by value: "Season 2" comes before "Season 10".
const QCollator &textCollator()
{
    thread_local const QCollator collator = [] {
        // The "C" locale's collation ignores the numeric mode.
        QLocale locale;
        if (locale.language() == QLocale::C)
            locale = QLocale(QLocale::English);
        QCollator made(locale);
        made.setNumericMode(true);
        made.setCaseSensitivity(Qt::CaseInsensitive);
        return made;
    }();
    return collator;
}

} // namespace

CatalogueSortOrder::Key CatalogueSortOrder::keyOf(const SubsBase &object)
{
    return {object.language(), object.rating(), object.lastPathComponent()};
}

int CatalogueSortOrder::compare(const Key &a, const Key &b)
{
    if (const int byLanguage = QString::compare(a.language, b.language); byLanguage != 0)
        return byLanguage;
    if (a.rating != b.rating)
        return a.rating > b.rating ? -1 : 1;
    return textCollator().compare(a.text, b.text);
}

int CatalogueSortOrder::compare(const SubsBase &a, const SubsBase &b)
{
    return compare(keyOf(a), keyOf(b));
}
