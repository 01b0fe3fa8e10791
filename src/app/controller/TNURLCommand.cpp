#include "app/controller/TNURLCommand.h"

#include "platform/Logging.h"
#include "platform/UserDefaults.h"
#include "services/podnapisi/PodParseKeys.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct LinkParts
{
    QString scheme;
    QString host;
    QString params;
    // The link as a user would pass it on: no account, query or fragment.
    QString shareable;
};

// Read from the text itself: QUrl would lower-case the scheme and the host, which must match
// exactly.
LinkParts linkParts(const QString &url)
{
    LinkParts parts;
    const qsizetype colon = url.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return parts;
    parts.scheme = url.left(colon);
    QString rest = url.mid(colon + 1);
    const qsizetype end = rest.indexOf(QRegularExpression(QStringLiteral("[?#]")));
    if (end >= 0)
        rest.truncate(end);
    QString path = rest;
    parts.shareable = parts.scheme + QLatin1Char(':');
    if (rest.startsWith(QLatin1String("//"))) {
        const qsizetype slash = rest.indexOf(QLatin1Char('/'), 2);
        QString authority = rest.mid(2, slash < 0 ? -1 : slash - 2);
        path = slash < 0 ? QString() : rest.mid(slash);
        authority = authority.mid(authority.lastIndexOf(QLatin1Char('@')) + 1);
        parts.host = authority.left(authority.indexOf(QLatin1Char(':')));
        parts.shareable += QLatin1String("//") + authority;
    }
    parts.shareable += path;
    const qsizetype semicolon = path.indexOf(QLatin1Char(';'));
    if (semicolon >= 0)
        parts.params = path.mid(semicolon + 1);
    return parts;
}

} // namespace

TNURLCommand::TNURLCommand(UserDefaults &defaults) : m_defaults(defaults) {}

void TNURLCommand::handleURLEvent(const QString &url)
{
    const LinkParts parts = linkParts(url);
    if (parts.scheme != Scheme)
        return;
    qCInfo(lcApp, "URL: %s. Host: %s. Params: %s", qPrintable(parts.shareable),
           qPrintable(parts.host), qPrintable(parts.params));
    if (parts.host == PodParseHost)
        handlePodParseString(url);
}

void TNURLCommand::handlePodParseString(const QString &url)
{
    const qsizetype question = url.indexOf(QLatin1Char('?'));
    if (question < 0)
        return;
    const QMap<QString, QString> query = queryDictionaryFromString(url.mid(question + 1));
    const std::optional<QString> begin = marker(query, QStringLiteral("begin"));
    const std::optional<QString> end = marker(query, QStringLiteral("end"));
    store(TNPodParseBegin, begin);
    store(TNPodParseEnd, end);
    m_defaults.synchronize();
    // The markers come from the query, which stays out of the log.
    const auto told = [](const std::optional<QString> &marker) {
        return marker ? QStringLiteral("set (length %1)").arg(marker->size())
                      : QStringLiteral("removed");
    };
    qCInfo(lcApp, "Begin: %s. End: %s", qPrintable(told(begin)), qPrintable(told(end)));
}

std::optional<QString> TNURLCommand::marker(const QMap<QString, QString> &query,
                                            const QString &name) const
{
    const auto found = query.constFind(name);
    if (found == query.constEnd())
        return std::nullopt;
    std::optional<QString> value = percentDecoded(*found);
    if (!value)
        return std::nullopt;
    if (value->size() > MaximumMarkerLength) {
        qCWarning(lcApp, "Ignored a %s marker of %lld characters", qPrintable(name),
                  static_cast<long long>(value->size()));
        return std::nullopt;
    }
    value->replace(QLatin1Char('+'), QLatin1Char(' '));
    return value;
}

void TNURLCommand::store(const QString &key, const std::optional<QString> &value)
{
    if (value)
        m_defaults.setValue(key, *value);
    else
        m_defaults.removeValue(key);
}

QMap<QString, QString> TNURLCommand::queryDictionaryFromString(const QString &query)
{
    QMap<QString, QString> dictionary;
    static const QRegularExpression separators(QStringLiteral("[&;]"));
    for (const QString &pair : query.split(separators, Qt::SkipEmptyParts)) {
        const QStringList parts = pair.split(QLatin1Char('='));
        if (parts.size() != 2)
            continue;
        const std::optional<QString> key = percentDecoded(parts.at(0));
        const std::optional<QString> value = percentDecoded(parts.at(1));
        if (key && value)
            dictionary.insert(*key, *value);
    }
    return dictionary;
}

std::optional<QString> TNURLCommand::percentDecoded(const QString &text)
{
    const QByteArray encoded = text.toUtf8();
    QByteArray bytes;
    bytes.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded.at(i) != '%') {
            bytes.append(encoded.at(i));
            continue;
        }
        const int high = i + 2 < encoded.size() ? hexValue(encoded.at(i + 1)) : -1;
        const int low = high >= 0 ? hexValue(encoded.at(i + 2)) : -1;
        if (low < 0)
            return std::nullopt;
        bytes.append(char(high * 16 + low));
        i += 2;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(bytes);
    if (utf8.hasError())
        return std::nullopt;
    // Decoded text is never null, so that an empty value stays apart from a missing one.
    if (decoded.isNull())
        decoded = QStringLiteral("");
    return decoded;
}
