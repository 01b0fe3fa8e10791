#include "http/HttpResponseHead.h"

QByteArray HttpResponseHead::canonicalName(const QByteArray &name)
{
    QByteArray result = name.toLower();
    bool upper = true;
    for (char &c : result) {
        if (upper && c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        upper = c == '-';
    }
    return result;
}

QMap<QString, QString> HttpResponseHead::allHeaderFields() const
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

std::optional<QByteArray> HttpResponseHead::header(const QByteArray &name) const
{
    const QList<QByteArray> all = values(name);
    if (all.isEmpty())
        return std::nullopt;
    return all.join(", ");
}

QList<QByteArray> HttpResponseHead::values(const QByteArray &name) const
{
    const QByteArray key = canonicalName(name);
    QList<QByteArray> result;
    for (const auto &field : m_fields) {
        if (field.first == key)
            result.append(field.second);
    }
    return result;
}

bool HttpResponseHead::hasConnectionToken(const QByteArray &token) const
{
    for (const QByteArray &value : values("Connection")) {
        for (const QByteArray &item : value.split(',')) {
            if (item.trimmed().compare(token, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

void HttpResponseHead::setStatus(const QByteArray &statusLine, const QByteArray &version,
                                 int statusCode)
{
    m_statusLine = statusLine;
    m_version = version;
    m_statusCode = statusCode;
}

void HttpResponseHead::addField(const QByteArray &name, const QByteArray &value)
{
    m_fields.append({canonicalName(name), value});
}
