#pragma once

#include <QMap>
#include <QString>

#include <optional>

class UserDefaults;

// Serves links of the "trovanel" scheme. Any web page can send one, so only the exact scheme
// and host are acted on, and only the two page markers of the Podnapisi search can be set.
class TNURLCommand final
{
public:
    static inline const QString Scheme = QStringLiteral("trovanel");
    static inline const QString PodParseHost = QStringLiteral("podparse");
    // Longer markers are no page markers; they count as missing.
    static constexpr qsizetype MaximumMarkerLength = 4096;

    explicit TNURLCommand(UserDefaults &defaults);

    void handleURLEvent(const QString &url);
    // Stores the "begin" and "end" values of the link's query; a missing one removes its key.
    void handlePodParseString(const QString &url);

    // Pairs split at "&" or ";", each exactly one "=", both sides percent-decoded as UTF-8;
    // other pairs are skipped and the last of a repeated key wins.
    static QMap<QString, QString> queryDictionaryFromString(const QString &query);
    // Null for a "%" without two hexadecimal digits or for bytes that are not UTF-8.
    static std::optional<QString> percentDecoded(const QString &text);

private:
    std::optional<QString> marker(const QMap<QString, QString> &query, const QString &name) const;
    void store(const QString &key, const std::optional<QString> &value);

    UserDefaults &m_defaults;
};
