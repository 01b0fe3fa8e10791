#pragma once

#include <QByteArray>
#include <QtGlobal>

// The password cipher of the zip format ("traditional" encryption): a stream cipher whose
// three keys start from the password. Works in place, one call after another.
class TraditionalZipCipher final
{
public:
    explicit TraditionalZipCipher(const QByteArray &password);

    void encrypt(char *data, qsizetype length);
    void decrypt(char *data, qsizetype length);

private:
    void updateKeys(quint8 plain);
    quint8 keyStreamByte() const;

    quint32 m_keys[3];
};
