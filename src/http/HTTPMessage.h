#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <optional>
#include <utility>

// An HTTP/1.x request message: method, target and header lines in the caller's spelling.
class HTTPMessage
{
public:
    // Null for a relative or invalid URL, a scheme other than http/https, an empty host or
    // a method that is not an HTTP token.
    static std::optional<HTTPMessage> create(const QByteArray &method, const QUrl &url,
                                             const QByteArray &version);
    // Whether a request can go to this URL at all: absolute, valid, http/https, with a host.
    static bool isRequestable(const QUrl &url);

    const QByteArray &method() const { return m_method; }
    const QUrl &url() const { return m_url; }
    const QByteArray &version() const { return m_version; }
    bool isHttps() const;
    quint16 port() const;

    // Replaces a field of the same name in any case, keeping its place. Refuses a name that is
    // not a token and a value that is not field text, and answers false.
    bool setHeader(const QByteArray &name, const QByteArray &value);
    // No control character but the tab: CR and LF would split the request, and the others
    // are read differently by every server and proxy on the way.
    static bool isFieldValue(const QByteArray &value);
    void removeHeader(const QByteArray &name);
    std::optional<QByteArray> header(const QByteArray &name) const;
    const QList<std::pair<QByteArray, QByteArray>> &headers() const { return m_headers; }

    // The head as sent: origin form, or absolute form for a plain-HTTP proxy. "Host" is added
    // when the caller set none; credentials in the URL never go on the wire.
    QByteArray serializedHead(bool absoluteForm) const;

private:
    HTTPMessage() = default;

    QByteArray m_method;
    QUrl m_url;
    QByteArray m_version;
    QList<std::pair<QByteArray, QByteArray>> m_headers;
};
