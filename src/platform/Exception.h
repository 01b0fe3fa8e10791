#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <exception>

// A programming error raised to the caller, carrying a name such as
// "NSInvalidArgumentException" and a human-readable reason.
class Exception : public std::exception
{
public:
    static inline const QString InvalidArgument = QStringLiteral("NSInvalidArgumentException");
    static inline const QString RangeError = QStringLiteral("NSRangeException");
    static inline const QString InternalInconsistency =
        QStringLiteral("NSInternalInconsistencyException");
    static inline const QString MallocError = QStringLiteral("NSMallocException");

    Exception(QString name, QString reason, QVariantMap userInfo = {})
        : m_name(std::move(name)), m_reason(std::move(reason)), m_userInfo(std::move(userInfo)),
          m_what((m_name + QStringLiteral(": ") + m_reason).toUtf8())
    {}

    const QString &name() const { return m_name; }
    const QString &reason() const { return m_reason; }
    const QVariantMap &userInfo() const { return m_userInfo; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_name;
    QString m_reason;
    QVariantMap m_userInfo;
    QByteArray m_what;
};
