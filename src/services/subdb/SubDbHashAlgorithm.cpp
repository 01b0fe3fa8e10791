#include "services/subdb/SubDbHashAlgorithm.h"

#include "services/RegularFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QUrl>

QString SubDbHashAlgorithm::hashForFile(QIODevice *file)
{
    if (!file)
        return {};
    const QByteArray head = file->read(BlockSize);
    const qint64 size = file->size();
    if (head.size() != BlockSize || size < BlockSize || !file->seek(size - BlockSize))
        return {};
    const QByteArray tail = file->read(BlockSize);
    // A file that shrank or failed mid-way must not yield the hash of other bytes.
    if (tail.size() != BlockSize)
        return {};
    QCryptographicHash digest(QCryptographicHash::Md5);
    digest.addData(head);
    digest.addData(tail);
    return QString::fromLatin1(digest.result().toHex());
}

QString SubDbHashAlgorithm::hashForPath(const QString &path)
{
    QFile file;
    if (!RegularFile::openForReading(path, file))
        return {};
    return hashForFile(&file);
}

QString SubDbHashAlgorithm::hashForURL(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    return hashForPath(url.toLocalFile());
}
