#include "services/OSHashAlgorithm.h"

#include <QFile>
#include <QUrl>
#include <QtEndian>

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    if (path.isEmpty())
        return {};
    // Non-blocking, so that opening a FIFO returns at once; then only regular files go on.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return {};
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
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
