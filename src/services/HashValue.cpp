#include "services/HashValue.h"

#include <QCryptographicHash>

#include <cstring>

namespace {

const QString ValueKey = QStringLiteral("value");
const QString TypeKey = QStringLiteral("type");

} // namespace

HashValue HashValue::md5HashWithData(const QByteArray &data)
{
    return {QCryptographicHash::hash(data, QCryptographicHash::Md5).constData(), HashValueTypeMD5};
}

HashValue HashValue::sha256HashWithData(const QByteArray &data)
{
    return {QCryptographicHash::hash(data, QCryptographicHash::Sha256).constData(),
            HashValueTypeSHA256};
}

HashValue::HashValue(const char *buffer, qint32 type) : m_type(type)
{
    if (type == HashValueTypeMD5 || type == HashValueTypeSHA256)
        std::memcpy(m_value.data(), buffer, digestLength(type));
}

int HashValue::digestLength(qint32 type)
{
    return type == HashValueTypeSHA256 ? 32 : 16;
}

QString HashValue::description() const
{
    return QString::fromLatin1(QByteArray(m_value.data(), digestLength(m_type)).toHex());
}

quint64 HashValue::hash() const
{
    quint64 first = 0;
    std::memcpy(&first, m_value.data(), sizeof first);
    return first;
}

QVariantMap HashValue::archive() const
{
    return {{ValueKey, QByteArray(m_value.data(), BufferSize)}, {TypeKey, m_type}};
}

HashValue HashValue::fromArchive(const QVariantMap &archive)
{
    HashValue value(nullptr, -1);
    value.m_type = archive.value(TypeKey).toInt();
    const QByteArray bytes = archive.value(ValueKey).toByteArray();
    std::memcpy(value.m_value.data(), bytes.constData(), qMin<qsizetype>(bytes.size(), BufferSize));
    return value;
}

size_t qHash(const HashValue &value, size_t seed) noexcept
{
    return qHash(value.hash(), seed);
}
