#include "services/OSHashAlgorithm.h"

#include "services/RegularFile.h"

#include <QFile>
#include <QUrl>
#include <QtEndian>

#include <cstring>

#include <fcntl.h>

namespace {

bool readBlock(QIODevice *file, QByteArray &block)
{
    block = file->read(OSHashAlgorithm::BlockSize);
    return block.size() == OSHashAlgorithm::BlockSize;
}

quint64 sumWords(const QByteArray &block)
{
    quint64 sum = 0;
    const char *data = block.constData();
    for (qint64 offset = 0; offset < OSHashAlgorithm::BlockSize; offset += 8) {
        quint64 word;
        std::memcpy(&word, data + offset, sizeof word);
        sum += qFromLittleEndian(word);
    }
    return sum;
}

} // namespace

OSHashResult OSHashAlgorithm::hashForFile(QIODevice *file)
{
    if (!file)
        return {};
    QByteArray head;
    const bool headRead = readBlock(file, head);
    const qint64 size = file->size();
    if (size < BlockSize || !headRead)
        return {};
    QByteArray tail;
    // A file that shrank or failed mid-way must not yield a partial sum.
    if (!file->seek(size - BlockSize) || !readBlock(file, tail))
        return {};
    const quint64 hash = quint64(size) + sumWords(head) + sumWords(tail);
    return {hash, quint64(size)};
}

OSHashResult OSHashAlgorithm::hashForPath(const QString &path)
{
    QFile file;
    if (!RegularFile::openForReading(path, file))
        return {};
    // Only a block at each end is read: read-ahead would bring in (or, for a sparse file,
    // clear) many times more, which made a first import of a library twice as slow.
    ::posix_fadvise(file.handle(), 0, 0, POSIX_FADV_RANDOM);
    return hashForFile(&file);
}

OSHashResult OSHashAlgorithm::hashForURL(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    return hashForPath(url.toLocalFile());
}

QString OSHashAlgorithm::stringForHash(quint64 hash)
{
    return QStringLiteral("%1").arg(hash, 16, 16, QLatin1Char('0'));
}
