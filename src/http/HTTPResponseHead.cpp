#include "http/HTTPResponseHead.h"

QByteArray HTTPResponseHead::canonicalName(QByteArrayView name)
{
    QByteArray result(name.size(), Qt::Uninitialized);
    char *out = result.data();
    bool upper = true;
    for (char c : name) {
        if (upper && c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        *out++ = c;
        upper = c == '-';
    }
    return result;
}

QMap<QString, QString> HTTPResponseHead::allHeaderFields() const
{
    QMap<QString, QString> result;
    for (const auto &[name, value] : m_fields) {
        const QString key = QString::fromLatin1(name);
        const QString text = QString::fromLatin1(value);
        auto it = result.find(key);
        if (it == result.end())
            result.insert(key, text);
        else
            *it += QStringLiteral(", ") + text;
    }
    return result;
}

// Stored names are canonical, so a match without regard to case is a match of canonical names,
// found without building one for the name asked for.
bool HTTPResponseHead::isNamed(const QByteArray &stored, QByteArrayView name)
{
    return stored.compare(name, Qt::CaseInsensitive) == 0;
}

std::optional<QByteArray> HTTPResponseHead::header(QByteArrayView name) const
{
    std::optional<QByteArray> joined;
    for (const auto &[stored, value] : m_fields) {
        if (!isNamed(stored, name))
            continue;
        if (joined)
            *joined += ", " + value;
        else
            joined = value;
    }
    return joined;
}

QList<QByteArray> HTTPResponseHead::values(QByteArrayView name) const
{
    QList<QByteArray> result;
    for (const auto &[stored, value] : m_fields) {
        if (isNamed(stored, name))
            result.append(value);
    }
    return result;
}

bool HTTPResponseHead::hasConnectionToken(const QByteArray &token) const
{
    for (const QByteArray &value : values("Connection")) {
        for (const QByteArray &item : value.split(',')) {
            if (item.trimmed().compare(token, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

void HTTPResponseHead::setStatus(const QByteArray &statusLine, const QByteArray &version,
                                 int statusCode)
{
    m_statusLine = statusLine;
    m_version = version;
    m_statusCode = statusCode;
}

void HTTPResponseHead::addField(QByteArrayView name, QByteArrayView value)
{
    m_fields.emplaceBack(canonicalName(name), value.toByteArray());
}
