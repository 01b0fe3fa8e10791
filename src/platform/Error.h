#pragma once

#include <QString>
#include <QVariantMap>

// A failure reported to a caller: a domain, a code within it, and details.
class Error
{
public:
    static inline const QString LocalizedDescriptionKey = QStringLiteral("NSLocalizedDescription");
    static inline const QString UnderlyingErrorKey = QStringLiteral("NSUnderlyingError");

    Error() = default;
    Error(QString domain, qint64 code, QVariantMap userInfo = {});
    static Error withDescription(QString domain, qint64 code, const QString &description,
                                 QVariantMap userInfo = {});

    bool isNull() const { return m_domain.isEmpty(); }
    const QString &domain() const { return m_domain; }
    qint64 code() const { return m_code; }
    const QVariantMap &userInfo() const { return m_userInfo; }

    // The description under the user-info key, or a generic text naming domain and code.
    QString localizedDescription() const;

    friend bool operator==(const Error &, const Error &) = default;

private:
    QString m_domain;
    qint64 m_code = 0;
    QVariantMap m_userInfo;
};

// Stores an error through an optional out-parameter.
inline void setError(Error *out, Error value)
{
    if (out)
        *out = std::move(value);
}
