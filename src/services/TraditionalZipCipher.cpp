#include "services/TraditionalZipCipher.h"

#include <zlib.h>

namespace {

quint32 crcStep(quint32 crc, quint8 byte)
{
    static const z_crc_t *const table = get_crc_table();
    return quint32(table[(crc ^ byte) & 0xff]) ^ (crc >> 8);
}

} // namespace

TraditionalZipCipher::TraditionalZipCipher(const QByteArray &password)
    : m_keys{0x12345678u, 0x23456789u, 0x34567890u}
{
    for (const char byte : password)
        updateKeys(quint8(byte));
}

void TraditionalZipCipher::updateKeys(quint8 plain)
{
    m_keys[0] = crcStep(m_keys[0], plain);
    m_keys[1] = (m_keys[1] + (m_keys[0] & 0xff)) * 134775813u + 1;
    m_keys[2] = crcStep(m_keys[2], quint8(m_keys[1] >> 24));
}

quint8 TraditionalZipCipher::keyStreamByte() const
{
    const quint32 temp = (m_keys[2] & 0xffff) | 2;
    return quint8((temp * (temp ^ 1)) >> 8);
}

void TraditionalZipCipher::decrypt(char *data, qsizetype length)
{
    for (qsizetype i = 0; i < length; ++i) {
        const quint8 plain = quint8(data[i]) ^ keyStreamByte();
        data[i] = char(plain);
        updateKeys(plain);
    }
}

void TraditionalZipCipher::encrypt(char *data, qsizetype length)
{
    for (qsizetype i = 0; i < length; ++i) {
        const quint8 plain = quint8(data[i]);
        data[i] = char(plain ^ keyStreamByte());
        updateKeys(plain);
    }
}
