#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace Fakes {

// Builds zip archives byte by byte, so that tests can also make the broken ones no archiver
// would write: wrong checksums, names in any encoding, sizes that lie.
class ZipArchiveBuilder
{
public:
    enum class Method
    {
        Stored,
        Deflated,
        Bzip2, // the data is stored as given under method 12, which needs a bzip2 reader
    };

    struct Entry
    {
        QByteArray name; // raw bytes as stored; a trailing '/' makes a folder
        QByteArray data;
        Method method = Method::Deflated;
        bool utf8Name = true;    // sets the flag that marks the name as UTF-8
        bool corruptCrc = false; // stores a checksum that does not match the data
        // When set, only a directory record is written, with this name, pointing at the
        // header and data of that earlier entry (whose name must be as long): the entries
        // overlap. The data given here is not used.
        int sharesDataOf = -1;
    };

    ZipArchiveBuilder &add(Entry entry);
    ZipArchiveBuilder &addFile(const QByteArray &name, const QByteArray &data);
    ZipArchiveBuilder &addFolder(const QByteArray &name);
    // Adds count directory records, prefix + 1, 2, ... (zero-padded to digits) + ".srt", that
    // all share the data of the first entry, whose name must be as long.
    ZipArchiveBuilder &addOverlapping(int count, const QByteArray &prefix, int digits);

    QByteArray build() const;
    bool writeTo(const QString &path) const;

private:
    QList<Entry> m_entries;
};

} // namespace Fakes
