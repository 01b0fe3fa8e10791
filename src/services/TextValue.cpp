#include "services/TextValue.h"

namespace TextValue {

qint64 intValue(const QString &text)
{
    const QString trimmed = text.trimmed();
    qsizetype end = 0;
    if (end < trimmed.size() && (trimmed[end] == u'-' || trimmed[end] == u'+'))
        ++end;
    while (end < trimmed.size() && trimmed[end] >= u'0' && trimmed[end] <= u'9')
        ++end;
    return trimmed.left(end).toLongLong();
}

} // namespace TextValue
