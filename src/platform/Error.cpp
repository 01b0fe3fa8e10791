#include "platform/Error.h"

Error::Error(QString domain, qint64 code, QVariantMap userInfo)
    : m_domain(std::move(domain)), m_code(code), m_userInfo(std::move(userInfo))
{}

Error Error::withDescription(QString domain, qint64 code, const QString &description,
                             QVariantMap userInfo)
{
    userInfo.insert(LocalizedDescriptionKey, description);
    return Error(std::move(domain), code, std::move(userInfo));
}

QString Error::localizedDescription() const
{
    const QVariant text = m_userInfo.value(LocalizedDescriptionKey);
    if (text.isValid())
        return text.toString();
    return QStringLiteral("The operation couldn't be completed. (%1 error %2.)")
        .arg(m_domain, QString::number(m_code));
}
