// A downloaded archive, read into memory and unpacked into a folder. The input's first byte
// chooses the password and whether the archive is also unpacked.
#include "FuzzSupport.h"
#include "services/TNZipFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// Everything unpacked is a plain file inside the folder.
void checkUnpacked(const QString &folder)
{
    const QString root = QFileInfo(folder).canonicalFilePath() + u'/';
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        FUZZ_CHECK(!entry.isSymLink());
        FUZZ_CHECK(entry.isFile() || entry.isDir());
        FUZZ_CHECK(entry.canonicalFilePath().startsWith(root));
        FUZZ_CHECK(!entry.isFile() || entry.size() <= TNZipFile::MaximumEntrySize);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir scratch;
    if (size < 1 || !scratch.isValid())
        return 0;
    const QString archive = scratch.filePath(QStringLiteral("archive.zip"));
    QFile file(archive);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1)) != qint64(size - 1))
        return 0;
    file.close();
    const QString password = data[0] & 1 ? QStringLiteral("secret") : QString();

    TNZipFile zip;
    if (zip.openForReading(archive, password)) {
        if (const std::optional<QList<ZipEntry>> entries = zip.readAllEntries()) {
            qint64 total = 0;
            for (const ZipEntry &entry : *entries) {
                FUZZ_CHECK(entry.data.size() <= TNZipFile::MaximumEntrySize);
                total += entry.data.size();
            }
            FUZZ_CHECK(total <= TNZipFile::MaximumArchiveSize);
            FUZZ_CHECK(entries->size() <= zip.fileEntryCount());
        }
        zip.closeReading();
    }
    if (!(data[0] & 2) || !zip.openForReading(archive, password))
        return 0;
    const QString folder = scratch.filePath(QStringLiteral("unpacked"));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    zip.extractToFolder(folder, data[0] & 4, QStringLiteral("nfo"));
    zip.closeReading();
    checkUnpacked(folder);
    QDir(folder).removeRecursively();
    return 0;
}
