#include "fakes/services/ZipArchiveBuilder.h"

#include <QFile>
#include <QtEndian>

#include <zlib.h>

namespace Fakes {

namespace {

constexpr quint16 Utf8NameFlag = 1u << 11;
// 1 January 2020, 12:00, in the archive's date and time fields.
constexpr quint16 DosTime = 12u << 11;
constexpr quint16 DosDate = ((2020 - 1980) << 9) | (1 << 5) | 1;

void put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

QByteArray rawDeflate(const QByteArray &data)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.truncate(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

} // namespace

ZipArchiveBuilder &ZipArchiveBuilder::add(Entry entry)
{
    m_entries.append(std::move(entry));
    return *this;
}

ZipArchiveBuilder &ZipArchiveBuilder::addFile(const QByteArray &name, const QByteArray &data)
{
    return add({name, data});
}

ZipArchiveBuilder &ZipArchiveBuilder::addFolder(const QByteArray &name)
{
    return add({name, {}, Method::Stored});
}

ZipArchiveBuilder &ZipArchiveBuilder::addOverlapping(int count, const QByteArray &prefix,
                                                     int digits)
{
    for (int i = 1; i <= count; ++i) {
        Entry copy{prefix + QByteArray::number(i).rightJustified(digits, '0') + ".srt", {}};
        copy.sharesDataOf = 0;
        add(copy);
    }
    return *this;
}

QByteArray ZipArchiveBuilder::build() const
{
    QByteArray archive;
    QByteArray directory;
    QList<quint32> offsets;
    QList<QByteArray> commons;
    for (const Entry &entry : m_entries) {
        if (entry.sharesDataOf >= 0) {
            offsets.append(offsets.value(entry.sharesDataOf));
            commons.append(commons.value(entry.sharesDataOf));
        } else {
            offsets.append(quint32(archive.size()));
            const QByteArray packed =
                entry.method == Method::Deflated ? rawDeflate(entry.data) : entry.data;
            quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(entry.data.constData()),
                                        uInt(entry.data.size())));
            if (entry.corruptCrc)
                crc ^= 0x5a5a5a5au;
            // The fields from "version needed" to the extra length, alike in both headers.
            QByteArray common;
            put16(common, 20);
            put16(common, entry.utf8Name ? Utf8NameFlag : 0);
            put16(common, entry.method == Method::Deflated ? Z_DEFLATED
                          : entry.method == Method::Bzip2  ? 12
                                                           : 0);
            put16(common, DosTime);
            put16(common, DosDate);
            put32(common, crc);
            put32(common, quint32(packed.size()));
            put32(common, quint32(entry.data.size()));
            put16(common, quint16(entry.name.size()));
            put16(common, 0);
            commons.append(common);
            put32(archive, 0x04034b50);
            archive.append(common);
            archive.append(entry.name);
            archive.append(packed);
        }
        const QByteArray &common = commons.last();
        const quint32 offset = offsets.last();

        put32(directory, 0x02014b50);
        put16(directory, 20);
        directory.append(common);
        put16(directory, 0); // comment length
        put16(directory, 0); // disk
        put16(directory, 0); // internal attributes
        put32(directory, entry.name.endsWith('/') ? 0x10 : 0);
        put32(directory, offset);
        directory.append(entry.name);
    }
    const quint32 directoryOffset = quint32(archive.size());
    archive.append(directory);
    put32(archive, 0x06054b50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, quint16(m_entries.size()));
    put16(archive, quint16(m_entries.size()));
    put32(archive, quint32(directory.size()));
    put32(archive, directoryOffset);
    put16(archive, 0);
    return archive;
}

bool ZipArchiveBuilder::writeTo(const QString &path) const
{
    QFile file(path);
    const QByteArray bytes = build();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace Fakes
