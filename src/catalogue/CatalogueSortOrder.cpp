#include "catalogue/CatalogueSortOrder.h"

#include "catalogue/SubsBase.h"

int CatalogueSortOrder::compare(const SubsBase &a, const SubsBase &b)
{
    if (const int byLanguage = QString::compare(a.language(), b.language()); byLanguage != 0)
        return byLanguage;
    if (a.rating() != b.rating())
        return a.rating() > b.rating() ? -1 : 1;
    return QString::compare(a.lastPathComponent(), b.lastPathComponent(), Qt::CaseInsensitive);
}
