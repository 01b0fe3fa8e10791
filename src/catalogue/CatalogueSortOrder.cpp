#include "catalogue/CatalogueSortOrder.h"

#include "catalogue/SubsBase.h"

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
    return QString::compare(a.text, b.text, Qt::CaseInsensitive);
}

int CatalogueSortOrder::compare(const SubsBase &a, const SubsBase &b)
{
    return compare(keyOf(a), keyOf(b));
}
