#include "http/BodySource.h"

#include <cstring>

qint64 DataBodySource::read(char *buffer, qint64 maxLength)
{
    const qint64 n = qMin(maxLength, qint64(m_data.size()) - m_offset);
    if (n <= 0)
        return 0;
    std::memcpy(buffer, m_data.constData() + m_offset, size_t(n));
    m_offset += n;
    return n;
}

std::unique_ptr<FileBodySource> FileBodySource::open(const QString &path)
{
    std::unique_ptr<FileBodySource> source(new FileBodySource(path));
    if (!source->m_file.open(QIODevice::ReadOnly))
        return nullptr;
    return source;
}

qint64 FileBodySource::read(char *buffer, qint64 maxLength)
{
    return m_file.read(buffer, maxLength);
}
