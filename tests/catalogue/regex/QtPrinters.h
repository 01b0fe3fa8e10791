#pragma once

#include "platform/Range.h"

#include <QString>
#include <QStringList>

#include <ostream>

// Readable failure messages for the Qt values these tests compare.
inline void PrintTo(const QString &value, std::ostream *out)
{
    *out << '"' << value.toStdString() << '"';
}

inline void PrintTo(const QStringList &value, std::ostream *out)
{
    *out << '[' << value.join(QStringLiteral("|")).toStdString() << ']';
}

inline void PrintTo(const Range &value, std::ostream *out)
{
    *out << '{' << value.location << ", " << value.length << '}';
}
