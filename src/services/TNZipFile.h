#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <map>
#include <optional>

// One file of an archive read into memory: its path inside the archive and its content.
struct ZipEntry
{
    QString filename;
    QByteArray data;
};

// Receives what a TNZipFile has to say; both hooks are optional.
class TNZipFileDelegate
{
public:
    virtual ~TNZipFileDelegate() = default;
    virtual void zipDidReport(const QString &message);
    // Whether the existing file at path may be replaced by an extracted one.
    virtual bool zipShouldReplaceFile(const QString &path);
};

// Reads, creates and unpacks zip archives. One archive at a time, one thread at a time.
// Decompressed content is capped per entry and per archive, so that a small hostile archive
// cannot take all memory; an entry over its cap, cut short or failing its CRC yields nothing.
class TNZipFile final
{
public:
    static constexpr qint64 MaximumEntrySize = 32 * 1024 * 1024;
    static constexpr qint64 MaximumArchiveSize = 64 * 1024 * 1024;
    static constexpr int MaximumEntryCount = 10000;

    TNZipFile();
    ~TNZipFile();
    TNZipFile(const TNZipFile &) = delete;
    TNZipFile &operator=(const TNZipFile &) = delete;

    // Creates a new archive at path, replacing any file there.
    bool createForWriting(const QString &path);
    bool createForWriting(const QString &path, const QString &password);
    // Adds the content of the file at path, deflated, under entryName.
    bool addFile(const QString &path, const QString &entryName);
    bool closeWriting();

    bool openForReading(const QString &path);
    bool openForReading(const QString &path, const QString &password);
    // Every file entry in archive order, folders left out; nothing when the archive cannot be
    // walked, an entry cannot be opened, entries share their data or there are too many.
    // Entries stored by a method other than plain or deflated are left out.
    std::optional<QList<ZipEntry>> readAllEntries();
    // How many file entries (folders left out) the last readAllEntries() met, the ones it
    // could not read or left out included.
    qsizetype fileEntryCount() const { return m_fileEntryCount; }
    // Unpacks every entry whose extension is not skipExtension below folder. Entries whose
    // names would leave the folder are skipped.
    bool extractToFolder(const QString &folder, bool overwrite, const QString &skipExtension);
    bool closeReading();

    // False exactly for names whose extension is the given one, ignoring case.
    static bool passesExtensionFilter(const QString &name, const QString &extension);
    // 1 January 1980, the earliest time an entry can carry.
    static QDateTime dosEpoch();

    TNZipFileDelegate *delegate() const { return m_delegate; }
    void setDelegate(TNZipFileDelegate *delegate) { m_delegate = delegate; }

private:
    struct EntryHeader
    {
        QString name;
        bool isFolder = false;
        QDateTime modified;
        bool encrypted = false;
        int method = 0;
        bool readable = false; // stored by a method this class can undo
        qint64 packedSize = 0;
        qint64 dataOffset = 0; // where the stored data starts in the archive
        quint32 crc = 0;
        quint8 checkByte = 0;
    };
    enum class EntryRead
    {
        Complete,
        Failed,
        TooLarge,
    };

    void reportMessage(const QString &message);
    bool mayReplaceFile(const QString &path);
    // Describes the current entry and opens it when readable; false (with a message) when
    // either fails.
    bool openCurrentEntry(EntryHeader *header);
    // Whether the entry's stored data overlaps that of one seen before; records it if not.
    static bool overlapsEarlierEntry(const EntryHeader &header, std::map<qint64, qint64> *spans);
    // Reads the open entry to its end and closes it, checking its CRC; at most limit bytes.
    EntryRead readCurrentEntry(const EntryHeader &header, qint64 limit, QByteArray *content);
    EntryRead readChunks(qint64 limit, QByteArray *content);
    static EntryRead inflateRaw(const QByteArray &packed, qint64 limit, QByteArray *content);
    void extractCurrentEntry(const QString &folder, const EntryHeader &header, bool overwrite);

    void *m_writeHandle = nullptr;
    void *m_readHandle = nullptr;
    QString m_password;
    qsizetype m_fileEntryCount = 0;
    TNZipFileDelegate *m_delegate = nullptr;
};
