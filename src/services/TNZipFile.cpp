#include "services/TNZipFile.h"

#include "platform/PathUtilities.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTimeZone>

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

namespace {

constexpr int ChunkSize = 4096;
constexpr uLong EncryptedFlag = 1u << 0;
constexpr uLong Utf8NameFlag = 1u << 11;

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
    const QByteArray password = m_password.toLatin1();
    const char *key = password.isEmpty() ? nullptr : password.constData();
    const uLong crc =
        key ? crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(content.constData()),
                    uInt(content.size()))
            : 0;
    const int zip64 = content.size() >= 0xffffffffLL ? 1 : 0;
    if (zipOpenNewFileInZip4_64(writer(m_writeHandle), entryName.toUtf8().constData(), &info,
                                nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION,
                                0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, key, crc, 0,
                                Utf8NameFlag, zip64) != ZIP_OK)
        return false;
    const bool written = zipWriteInFileInZip(writer(m_writeHandle), content.constData(),
                                             unsigned(content.size())) == ZIP_OK;
    const bool closed = zipCloseFileInZip(writer(m_writeHandle)) == ZIP_OK;
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
    const QByteArray password = m_password.toLatin1();
    // Without a password an encrypted entry would be read as noise.
    if ((info.flag & EncryptedFlag) && password.isEmpty()) {
        reportMessage(QStringLiteral("Cannot open the entry"));
        return false;
    }
    if (unzOpenCurrentFilePassword(reader(m_readHandle),
                                   password.isEmpty() ? nullptr : password.constData()) != UNZ_OK) {
        reportMessage(QStringLiteral("Cannot open the entry"));
        return false;
    }
    QByteArray name(qsizetype(info.size_filename) + 1, '\0');
    if (unzGetCurrentFileInfo64(reader(m_readHandle), &info, name.data(), uLong(name.size()),
                                nullptr, 0, nullptr, 0) != UNZ_OK) {
        reportMessage(QStringLiteral("Cannot read the entry information"));
        unzCloseCurrentFile(reader(m_readHandle));
        return false;
    }
    name.truncate(qsizetype(qstrnlen(name.constData(), size_t(name.size()))));
    header->isFolder = name.endsWith('/') || name.endsWith('\\');
    header->name = name.isEmpty() ? QString() : decodeEntryName(name);
    header->modified = entryDate(info.tmu_date);
    return true;
}

TNZipFile::EntryRead TNZipFile::readCurrentEntry(qint64 limit, QByteArray *content)
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

std::optional<QList<ZipEntry>> TNZipFile::readAllEntries()
{
    if (!m_readHandle || unzGoToFirstFile(reader(m_readHandle)) != UNZ_OK) {
        reportMessage(QStringLiteral("Cannot reach the first entry"));
        return std::nullopt;
    }
    QList<ZipEntry> entries;
    qint64 total = 0;
    do {
        EntryHeader header;
        if (!openCurrentEntry(&header))
            return std::nullopt;
        if (header.isFolder || header.name.isEmpty()) {
            unzCloseCurrentFile(reader(m_readHandle));
            continue;
        }
        QByteArray content;
        const qint64 limit = qMin(MaximumEntrySize, MaximumArchiveSize - total);
        const EntryRead outcome = readCurrentEntry(limit, &content);
        if (outcome == EntryRead::Failed) {
            reportMessage(QStringLiteral("Cannot read the entry"));
            continue;
        }
        if (outcome == EntryRead::TooLarge) {
            reportMessage(QStringLiteral("The entry is too large"));
            if (limit < MaximumEntrySize)
                break;
            continue;
        }
        total += content.size();
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
    if (readCurrentEntry(MaximumEntrySize, &content) != EntryRead::Complete) {
        reportMessage(QStringLiteral("Cannot extract the entry"));
        return;
    }
    // Written whole or not at all, so a failed entry never replaces a good file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.commit()) {
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
