#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace Fakes {

// A query string as it came over the wire, split into its keys and decoded values in order.
// Values must be fully percent-encoded: only unreserved characters and %XX escapes.
class RawQuery
{
public:
    explicit RawQuery(const QByteArray &raw);

    QStringList keys() const;
    QString value(const QString &key) const;
    bool contains(const QString &key) const;
    // What was wrong with the encoding; empty when nothing.
    const QStringList &problems() const { return m_problems; }

private:
    QList<std::pair<QString, QString>> m_items;
    QStringList m_problems;
};

} // namespace Fakes
