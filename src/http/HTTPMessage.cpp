#include "http/HTTPMessage.h"

#include <algorithm>

namespace {

bool isTokenChar(char c)
{
    static const QByteArray extra("!#$%&'*+-.^_`|~");
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           extra.contains(c);
}

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (!isTokenChar(c))
            return false;
    }
    return true;
}

} // namespace

std::optional<HTTPMessage> HTTPMessage::create(const QByteArray &method, const QUrl &url,
                                               const QByteArray &version)
{
    if (!isRequestable(url) || !isToken(method))
        return std::nullopt;
    HTTPMessage message;
    message.m_method = method;
    message.m_url = url;
    message.m_version = version;
    return message;
}

bool HTTPMessage::isRequestable(const QUrl &url)
{
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool HTTPMessage::isHttps() const
{
    return m_url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

quint16 HTTPMessage::port() const
{
    return quint16(m_url.port(isHttps() ? 443 : 80));
}

bool HTTPMessage::setHeader(const QByteArray &name, const QByteArray &value)
{
    if (!isToken(name) || !isFieldValue(value))
        return false;
    for (auto &field : m_headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0) {
            field = {name, value};
            return true;
        }
    }
    m_headers.append({name, value});
    return true;
}

bool HTTPMessage::isFieldValue(const QByteArray &value)
{
    return std::none_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t') || byte == 0x7f;
    });
}

void HTTPMessage::removeHeader(const QByteArray &name)
{
    m_headers.removeIf(
        [&](const auto &field) { return field.first.compare(name, Qt::CaseInsensitive) == 0; });
}

std::optional<QByteArray> HTTPMessage::header(const QByteArray &name) const
{
    for (const auto &field : m_headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    }
    return std::nullopt;
}

QByteArray HTTPMessage::serializedHead(bool absoluteForm) const
{
    QByteArray target;
    if (absoluteForm) {
        target = m_url.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    } else {
        target = m_url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
        if (target.isEmpty() || target.startsWith('?'))
            target.prepend('/');
    }
    // Built in place, in one block: a head is written for every request.
    QByteArray head;
    head.reserve(512);
    head.append(m_method).append(' ').append(target).append(' ').append(m_version).append("\r\n");
    if (!header("Host")) {
        const QByteArray host = m_url.host(QUrl::FullyEncoded).toLatin1();
        head.append("Host: ");
        if (host.contains(':'))
            head.append('[').append(host).append(']');
        else
            head.append(host);
        const int explicitPort = m_url.port(-1);
        const int defaultPort = isHttps() ? 443 : 80;
        if (explicitPort != -1 && explicitPort != defaultPort)
            head.append(':').append(QByteArray::number(explicitPort));
        head.append("\r\n");
    }
    for (const auto &[name, value] : m_headers)
        head.append(name).append(": ").append(value).append("\r\n");
    head.append("\r\n");
    return head;
}
