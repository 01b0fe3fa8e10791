#include "services/TNZipFile.h"

#include "platform/FileWriter.h"
#include "platform/PathUtilities.h"
#include "services/TraditionalZipCipher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTimeZone>

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

namespace {

constexpr int ChunkSize = 4096;
constexpr uLong EncryptedFlag = 1u << 0;
constexpr uLong DataDescriptorFlag = 1u << 3;
constexpr uLong Utf8NameFlag = 1u << 11;
constexpr qsizetype CipherHeaderSize = 12;

unzFile reader(void *handle)
{
    return static_cast<unzFile>(handle);
}

zipFile writer(void *handle)
{
    return static_cast<zipFile>(handle);
}

QByteArray nativeName(const QString &path)
{
    return QFile::encodeName(path);
}

// Names are UTF-8 when they decode cleanly; anything else is taken byte for byte.
QString decodeEntryName(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(bytes);
    if (!utf8.hasError() && !decoded.isEmpty())
        return decoded;
    return QString::fromLatin1(bytes);
}

QByteArray deflateRaw(const QByteArray &content)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray packed(qsizetype(deflateBound(&stream, uLong(content.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(content.constData()));
    stream.avail_in = uInt(content.size());
    stream.next_out = reinterpret_cast<Bytef *>(packed.data());
    stream.avail_out = uInt(packed.size());
    deflate(&stream, Z_FINISH);
    packed.truncate(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return packed;
}

QDateTime entryDate(const tm_unz &date)
{
    const QDateTime stamp(QDate(int(date.tm_year), int(date.tm_mon) + 1, int(date.tm_mday)),
                          QTime(int(date.tm_hour), int(date.tm_min), int(date.tm_sec)));
    return stamp.isValid() ? stamp : TNZipFile::dosEpoch();
}

tm_zip zipDate(QDateTime stamp)
{
    if (!stamp.isValid() || stamp < TNZipFile::dosEpoch())
        stamp = TNZipFile::dosEpoch();
    const QDateTime local = stamp.toLocalTime();
    tm_zip date{};
    date.tm_year = uInt(local.date().year());
    date.tm_mon = uInt(local.date().month() - 1);
    date.tm_mday = uInt(local.date().day());
    date.tm_hour = uInt(local.time().hour());
    date.tm_min = uInt(local.time().minute());
    date.tm_sec = uInt(local.time().second());
    return date;
}

// The entry's path below the extraction folder, or null when it would leave the folder.
QString relativeEntryPath(QString name)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (name.startsWith(QLatin1Char('/')))
        return QString();
    QStringList kept;
    for (const QString &component : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (component == QLatin1String(".."))
            return QString();
        if (component != QLatin1String("."))
            kept.append(component);
    }
    return kept.join(QLatin1Char('/'));
}

} // namespace

TNZipFile::EntryRead TNZipFile::inflateRaw(const QByteArray &packed, qint64 limit,
                                           QByteArray *content)
{
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return EntryRead::Failed;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.constData()));
    stream.avail_in = uInt(packed.size());
    char buffer[ChunkSize];
    int status = Z_OK;
    EntryRead outcome = EntryRead::Complete;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = ChunkSize;
        status = inflate(&stream, Z_NO_FLUSH);
        const qsizetype produced = ChunkSize - qsizetype(stream.avail_out);
        if (content->size() + produced > limit) {
            outcome = EntryRead::TooLarge;
            break;
        }
        content->append(buffer, produced);
    }
    if (outcome == EntryRead::Complete && status != Z_STREAM_END)
        outcome = EntryRead::Failed;
    inflateEnd(&stream);
    return outcome;
}

void TNZipFileDelegate::zipDidReport(const QString &) {}

bool TNZipFileDelegate::zipShouldReplaceFile(const QString &)
{
    return true;
}

TNZipFile::TNZipFile() = default;

TNZipFile::~TNZipFile()
{
    closeWriting();
    closeReading();
}

bool TNZipFile::createForWriting(const QString &path)
{
    return createForWriting(path, QString());
}

bool TNZipFile::createForWriting(const QString &path, const QString &password)
{
    closeWriting();
    m_password = password;
    m_writeHandle = zipOpen64(nativeName(path).constData(), APPEND_STATUS_CREATE);
    return m_writeHandle != nullptr;
}

bool TNZipFile::addFile(const QString &path, const QString &entryName)
{
    if (!m_writeHandle)
        return false;
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return false;

    zip_fileinfo info{};
    info.tmz_date = zipDate(QFileInfo(path).lastModified());
    const int zip64 = content.size() >= 0xffffffffLL ? 1 : 0;
    if (m_password.isEmpty()) {
        if (zipOpenNewFileInZip4_64(
                writer(m_writeHandle), entryName.toUtf8().constData(), &info, nullptr, 0, nullptr,
                0, nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                Z_DEFAULT_STRATEGY, nullptr, 0, 0, Utf8NameFlag, zip64) != ZIP_OK)
            return false;
        const bool written = zipWriteInFileInZip(writer(m_writeHandle), content.constData(),
                                                 unsigned(content.size())) == ZIP_OK;
        const bool closed = zipCloseFileInZip(writer(m_writeHandle)) == ZIP_OK;
        return written && closed;
    }
    // The library's own cipher does not give archives other programs can open, so
    // encrypted entries are deflated and enciphered here and handed over as they are stored.
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef *>(content.constData()), uInt(content.size()));
    QByteArray stored(CipherHeaderSize, '\0');
    for (char &byte : stored)
        byte = char(QRandomGenerator::global()->bounded(256));
    stored[CipherHeaderSize - 1] = char(crc >> 24);
    stored += deflateRaw(content);
    TraditionalZipCipher(m_password.toLatin1()).encrypt(stored.data(), stored.size());
    if (zipOpenNewFileInZip4_64(writer(m_writeHandle), entryName.toUtf8().constData(), &info,
                                nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION,
                                1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, 0,
                                Utf8NameFlag | EncryptedFlag, zip64) != ZIP_OK)
        return false;
    const bool written = zipWriteInFileInZip(writer(m_writeHandle), stored.constData(),
                                             unsigned(stored.size())) == ZIP_OK;
    const bool closed =
        zipCloseFileInZipRaw64(writer(m_writeHandle), ZPOS64_T(content.size()), crc) == ZIP_OK;
    return written && closed;
}

bool TNZipFile::closeWriting()
{
    m_password.clear();
    if (!m_writeHandle)
        return false;
    const bool closed = zipClose(writer(m_writeHandle), nullptr) == ZIP_OK;
    m_writeHandle = nullptr;
    return closed;
}

bool TNZipFile::openForReading(const QString &path)
{
    return openForReading(path, QString());
}

bool TNZipFile::openForReading(const QString &path, const QString &password)
{
    closeReading();
    m_password = password;
    m_readHandle = unzOpen64(nativeName(path).constData());
    return m_readHandle != nullptr;
}

bool TNZipFile::passesExtensionFilter(const QString &name, const QString &extension)
{
    if (extension.isEmpty())
        return true;
    return PathUtilities::pathExtension(name).compare(extension, Qt::CaseInsensitive) != 0;
}

bool TNZipFile::openCurrentEntry(EntryHeader *header)
{
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(reader(m_readHandle), &info, nullptr, 0, nullptr, 0, nullptr, 0) !=
        UNZ_OK) {
        reportMessage(QStringLiteral("Cannot read the entry information"));
        return false;
    }
    QByteArray name(qsizetype(info.size_filename) + 1, '\0');
    if (unzGetCurrentFileInfo64(reader(m_readHandle), &info, name.data(), uLong(name.size()),
                                nullptr, 0, nullptr, 0) != UNZ_OK) {
        reportMessage(QStringLiteral("Cannot read the entry information"));
        return false;
    }
    name.truncate(qsizetype(qstrnlen(name.constData(), size_t(name.size()))));
    header->isFolder = name.endsWith('/') || name.endsWith('\\');
    header->name = name.isEmpty() ? QString() : decodeEntryName(name);
    header->modified = entryDate(info.tmu_date);
    header->encrypted = (info.flag & EncryptedFlag) != 0;
    header->method = int(info.compression_method);
    header->packedSize = qint64(info.compressed_size);
    header->crc = quint32(info.crc);
    // The last byte of the cipher header repeats the CRC's high byte, or the time's when the
    // CRC follows the data.
    header->checkByte =
        quint8((info.flag & DataDescriptorFlag) ? info.dosDate >> 8 : info.crc >> 24);
    // Any other method would come back as its compressed bytes.
    header->readable = header->method == 0 || header->method == Z_DEFLATED;
    if (!header->readable)
        return true;
    // Without a password an encrypted entry would be read as noise. With one, the entry is
    // read as stored and deciphered here.
    int method = 0;
    int level = 0;
    const bool opened = header->encrypted ? !m_password.isEmpty() &&
                                                unzOpenCurrentFile2(reader(m_readHandle), &method,
                                                                    &level, 1) == UNZ_OK
                                          : unzOpenCurrentFile(reader(m_readHandle)) == UNZ_OK;
    if (!opened) {
        reportMessage(QStringLiteral("Cannot open the entry"));
        return false;
    }
    header->dataOffset = qint64(unzGetCurrentFileZStreamPos64(reader(m_readHandle)));
    return true;
}

bool TNZipFile::overlapsEarlierEntry(const EntryHeader &header, std::map<qint64, qint64> *spans)
{
    if (header.packedSize <= 0)
        return false;
    const qint64 start = header.dataOffset;
    const qint64 end = start + header.packedSize;
    const auto next = spans->lower_bound(start);
    if (next != spans->end() && next->first < end)
        return true;
    if (next != spans->begin() && std::prev(next)->second > start)
        return true;
    spans->emplace(start, end);
    return false;
}

TNZipFile::EntryRead TNZipFile::readChunks(qint64 limit, QByteArray *content)
{
    char buffer[ChunkSize];
    EntryRead outcome = EntryRead::Complete;
    for (;;) {
        const int count = unzReadCurrentFile(reader(m_readHandle), buffer, ChunkSize);
        if (count == 0)
            break;
        if (count < 0) {
            outcome = EntryRead::Failed;
            break;
        }
        if (content->size() + count > limit) {
            outcome = EntryRead::TooLarge;
            break;
        }
        content->append(buffer, count);
    }
    // Closing an entry read to its end checks its CRC.
    if (unzCloseCurrentFile(reader(m_readHandle)) != UNZ_OK && outcome == EntryRead::Complete)
        outcome = EntryRead::Failed;
    return outcome;
}

TNZipFile::EntryRead TNZipFile::readCurrentEntry(const EntryHeader &header, qint64 limit,
                                                 QByteArray *content)
{
    if (!header.encrypted)
        return readChunks(limit, content);
    QByteArray stored;
    const EntryRead outcome = readChunks(MaximumArchiveSize, &stored);
    if (outcome != EntryRead::Complete)
        return outcome;
    if (stored.size() < CipherHeaderSize)
        return EntryRead::Failed;
    TraditionalZipCipher(m_password.toLatin1()).decrypt(stored.data(), stored.size());
    if (quint8(stored[CipherHeaderSize - 1]) != header.checkByte)
        return EntryRead::Failed;
    stored.remove(0, CipherHeaderSize);
    EntryRead unpacked = EntryRead::Failed;
    if (header.method == 0) {
        unpacked = stored.size() > limit ? EntryRead::TooLarge : EntryRead::Complete;
        *content = stored;
    } else if (header.method == Z_DEFLATED) {
        unpacked = inflateRaw(stored, limit, content);
    }
    if (unpacked == EntryRead::Complete &&
        quint32(crc32(0, reinterpret_cast<const Bytef *>(content->constData()),
                      uInt(content->size()))) != header.crc)
        return EntryRead::Failed;
    return unpacked;
}

std::optional<QList<ZipEntry>> TNZipFile::readAllEntries()
{
    if (!m_readHandle || unzGoToFirstFile(reader(m_readHandle)) != UNZ_OK) {
        reportMessage(QStringLiteral("Cannot reach the first entry"));
        return std::nullopt;
    }
    QList<ZipEntry> entries;
    m_fileEntryCount = 0;
    // Everything inflated counts, kept or not, so that no archive costs more than this.
    qint64 work = 0;
    bool exhausted = false;
    int count = 0;
    std::map<qint64, qint64> spans;
    do {
        if (++count > MaximumEntryCount) {
            reportMessage(QStringLiteral("The archive has too many entries"));
            return std::nullopt;
        }
        EntryHeader header;
        if (!openCurrentEntry(&header))
            return std::nullopt;
        if (!header.isFolder)
            ++m_fileEntryCount;
        // The rest is still counted, never read.
        if (exhausted) {
            if (header.readable)
                unzCloseCurrentFile(reader(m_readHandle));
            continue;
        }
        if (!header.readable) {
            reportMessage(QStringLiteral("Cannot read the entry"));
            continue;
        }
        // Entries sharing their data would let a small archive cost its full size many times.
        if (overlapsEarlierEntry(header, &spans)) {
            unzCloseCurrentFile(reader(m_readHandle));
            reportMessage(QStringLiteral("The entries overlap"));
            return std::nullopt;
        }
        if (header.isFolder || header.name.isEmpty()) {
            unzCloseCurrentFile(reader(m_readHandle));
            continue;
        }
        QByteArray content;
        const qint64 limit = qMin(MaximumEntrySize, MaximumArchiveSize - work);
        const EntryRead outcome = readCurrentEntry(header, limit, &content);
        work += content.size();
        if (outcome == EntryRead::Failed) {
            reportMessage(QStringLiteral("Cannot read the entry"));
            continue;
        }
        if (outcome == EntryRead::TooLarge) {
            reportMessage(QStringLiteral("The entry is too large"));
            exhausted = limit < MaximumEntrySize;
            continue;
        }
        entries.append({header.name, content});
    } while (unzGoToNextFile(reader(m_readHandle)) == UNZ_OK);
    return entries;
}

void TNZipFile::extractCurrentEntry(const QString &folder, const EntryHeader &header,
                                    bool overwrite)
{
    const QString relative = relativeEntryPath(header.name);
    if (relative.isEmpty()) {
        unzCloseCurrentFile(reader(m_readHandle));
        if (!header.isFolder)
            reportMessage(QStringLiteral("Cannot extract the entry"));
        return;
    }
    const QString path = PathUtilities::appendingPathComponent(folder, relative);
    if (header.isFolder) {
        unzCloseCurrentFile(reader(m_readHandle));
        QDir().mkpath(path);
        return;
    }
    QDir().mkpath(PathUtilities::deletingLastPathComponent(path));
    if (QFileInfo::exists(path) && !overwrite && !mayReplaceFile(path)) {
        unzCloseCurrentFile(reader(m_readHandle));
        return;
    }
    QByteArray content;
    if (readCurrentEntry(header, MaximumEntrySize, &content) != EntryRead::Complete) {
        reportMessage(QStringLiteral("Cannot extract the entry"));
        return;
    }
    // Written whole or not at all, so a failed entry never replaces a good file.
    QString problem;
    if (!FileWriter::replace(path, content, FileWriter::Access::Shared, &problem)) {
        reportMessage(QStringLiteral("Cannot extract the entry"));
        return;
    }
    QFile written(path);
    if (written.open(QIODevice::ReadWrite))
        written.setFileTime(header.modified, QFileDevice::FileModificationTime);
}

bool TNZipFile::extractToFolder(const QString &folder, bool overwrite, const QString &skipExtension)
{
    if (!m_readHandle || unzGoToFirstFile(reader(m_readHandle)) != UNZ_OK) {
        reportMessage(QStringLiteral("Cannot reach the first entry"));
        return false;
    }
    do {
        EntryHeader header;
        if (!openCurrentEntry(&header))
            return false;
        if (!header.readable) {
            reportMessage(QStringLiteral("Cannot extract the entry"));
            continue;
        }
        if (!passesExtensionFilter(header.name, skipExtension)) {
            unzCloseCurrentFile(reader(m_readHandle));
            continue;
        }
        extractCurrentEntry(folder, header, overwrite);
    } while (unzGoToNextFile(reader(m_readHandle)) == UNZ_OK);
    return true;
}

bool TNZipFile::closeReading()
{
    m_password.clear();
    if (!m_readHandle)
        return true;
    const bool closed = unzClose(reader(m_readHandle)) == UNZ_OK;
    m_readHandle = nullptr;
    return closed;
}

QDateTime TNZipFile::dosEpoch()
{
    return QDateTime(QDate(1980, 1, 1), QTime(0, 0));
}

void TNZipFile::reportMessage(const QString &message)
{
    if (m_delegate)
        m_delegate->zipDidReport(message);
}

bool TNZipFile::mayReplaceFile(const QString &path)
{
    return m_delegate ? m_delegate->zipShouldReplaceFile(path) : true;
}
