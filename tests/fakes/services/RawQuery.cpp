#include "fakes/services/RawQuery.h"

#include <QUrl>

namespace Fakes {

namespace {

bool isEncoded(const QByteArray &value)
{
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved)
            continue;
        if (c == '%' && i + 2 < value.size() && isxdigit(uchar(value[i + 1])) &&
            isxdigit(uchar(value[i + 2]))) {
            i += 2;
            continue;
        }
        return false;
    }
    return true;
}

} // namespace

RawQuery::RawQuery(const QByteArray &raw)
{
    if (raw.isEmpty())
        return;
    const QList<QByteArray> pairs = raw.split('&');
    for (const QByteArray &pair : pairs) {
        const qsizetype equals = pair.indexOf('=');
        if (equals < 0) {
            m_problems.append(QStringLiteral("no value in \"%1\"").arg(QString::fromLatin1(pair)));
            continue;
        }
        const QByteArray value = pair.mid(equals + 1);
        if (!isEncoded(value))
            m_problems.append(
                QStringLiteral("not encoded: \"%1\"").arg(QString::fromLatin1(value)));
        m_items.append({QString::fromLatin1(pair.left(equals)), QUrl::fromPercentEncoding(value)});
    }
}

QStringList RawQuery::keys() const
{
    QStringList keys;
    for (const auto &item : m_items)
        keys.append(item.first);
    return keys;
}

QString RawQuery::value(const QString &key) const
{
    for (const auto &[name, value] : m_items) {
        if (name == key)
            return value;
    }
    return {};
}

bool RawQuery::contains(const QString &key) const
{
    return keys().contains(key);
}

} // namespace Fakes
