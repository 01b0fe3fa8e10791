#pragma once

#include <QString>

class SubsBase;

// The order of the results list: language ascending, then rating descending, then the display
// text ascending without regard to case, numbers in it by their value. Videos all have language ""
// and rating 0, so their display text alone orders them.
class CatalogueSortOrder
{
public:
    // The three keys of one object, taken once when many objects are sorted.
    struct Key
    {
        QString language;
        qint32 rating = 0;
        QString text;
    };
    static Key keyOf(const SubsBase &object);
    static int compare(const Key &a, const Key &b);

    // Negative when a comes first, positive when b does, 0 when the keys are all equal.
    static int compare(const SubsBase &a, const SubsBase &b);
    static bool lessThan(const SubsBase &a, const SubsBase &b) { return compare(a, b) < 0; }
};
