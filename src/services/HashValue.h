#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <array>

enum HashValueType : qint32
{
    HashValueTypeMD5 = 0,
    HashValueTypeSHA256 = 1
};

// An MD5 or SHA-256 digest with its lower-case hexadecimal text. Immutable.
class HashValue
{
public:
    static constexpr int BufferSize = 48;

    static HashValue md5HashWithData(const QByteArray &data);
    static HashValue sha256HashWithData(const QByteArray &data);

    // Copies the first 16 (MD5) or 32 (SHA-256) bytes; any other type copies nothing.
    HashValue(const char *buffer, qint32 type);

    QString description() const;
    quint64 hash() const; // the first 8 bytes in the machine's byte order
    const std::array<char, BufferSize> &value() const { return m_value; }
    qint32 type() const { return m_type; }

    // The archived form: "value" (all 48 bytes) and "type".
    QVariantMap archive() const;
    static HashValue fromArchive(const QVariantMap &archive);

    friend bool operator==(const HashValue &, const HashValue &) = default;

private:
    static int digestLength(qint32 type);

    std::array<char, BufferSize> m_value{};
    qint32 m_type = HashValueTypeMD5;
};

size_t qHash(const HashValue &value, size_t seed = 0) noexcept;
