#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>
#include <utility>

// A parsed response head. Field names are kept in canonical form ("content-length" becomes
// "Content-Length", "ETag" becomes "Etag") so that lookups never depend on the server's case.
class HTTPResponseHead
{
public:
    static QByteArray canonicalName(QByteArrayView name);

    int statusCode() const { return m_statusCode; }
    // The status line without its line end, e.g. "HTTP/1.1 404 Not Found".
    const QByteArray &statusLine() const { return m_statusLine; }
    // "HTTP/1.0" or "HTTP/1.1".
    const QByteArray &version() const { return m_version; }

    // Every field by canonical name; repeated fields joined with ", ".
    QMap<QString, QString> allHeaderFields() const;
    std::optional<QByteArray> header(QByteArrayView name) const;
    // Each raw value of a field that must not be joined, such as "Set-Cookie".
    QList<QByteArray> values(QByteArrayView name) const;
    const QList<std::pair<QByteArray, QByteArray>> &fields() const { return m_fields; }

    // True when a "Connection" field lists the given token (any case).
    bool hasConnectionToken(const QByteArray &token) const;

    void setStatus(const QByteArray &statusLine, const QByteArray &version, int statusCode);
    void addField(QByteArrayView name, QByteArrayView value);

private:
    static bool isNamed(const QByteArray &stored, QByteArrayView name);

    QByteArray m_statusLine;
    QByteArray m_version;
    int m_statusCode = 0;
    QList<std::pair<QByteArray, QByteArray>> m_fields;
};
