#pragma once

#include <QByteArray>

// A receiver that disowns some of its methods at times; SelectorCall then treats such a
// method as missing.
class SelectorResponder
{
public:
    virtual ~SelectorResponder() = default;
    virtual bool respondsToSelector(const QByteArray &name) const = 0;
};
