#include "platform/FileWriter.h"

#include "platform/Logging.h"
#include "platform/PathUtilities.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int TemporaryNameAttempts = 16;

QString systemProblem(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

constexpr qsizetype CopyBlockSize = 256 * 1024;
constexpr std::string_view TemporarySuffix = ".part";
constexpr int TemporaryDigits = 8;
constexpr qsizetype DefaultLongestName = 255;

// Fills a freshly opened file; 0 or the system's error code.
using Filler = std::function<int(int descriptor)>;

int writeAll(int descriptor, const char *next, qint64 left)
{
    while (left > 0) {
        const ssize_t written = ::write(descriptor, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EIO;
        next += written;
        left -= written;
    }
    return 0;
}

Filler bytes(const QByteArray &data)
{
    return [&data](int descriptor) { return writeAll(descriptor, data.constData(), data.size()); };
}

Filler copyOf(const QString &source)
{
    return [name = QFile::encodeName(source)](int descriptor) {
        const int from = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (from < 0)
            return errno;
        QByteArray block(CopyBlockSize, Qt::Uninitialized);
        int failure = 0;
        for (;;) {
            const ssize_t got = ::read(from, block.data(), size_t(block.size()));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                failure = got < 0 ? errno : 0;
                break;
            }
            failure = writeAll(descriptor, block.constData(), got);
            if (failure != 0)
                break;
        }
        ::close(from);
        return failure;
    };
}

// Writes a new file, removed again when that fails; 0 or the system's error code.
int writeNew(const QByteArray &name, const Filler &fill, mode_t mode = 0666)
{
    const int descriptor =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (descriptor < 0)
        return errno;
    int failure = fill(descriptor);
    if (failure == 0 && ::fsync(descriptor) != 0)
        failure = errno;
    if (::close(descriptor) != 0 && failure == 0)
        failure = errno;
    if (failure != 0)
        ::unlink(name.constData());
    return failure;
}

// The longest name, in bytes, the folder's file system takes.
qsizetype longestNameIn(const QString &folder)
{
    const long longest =
        ::pathconf(folder.isEmpty() ? "." : QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return longest > 0 ? qsizetype(longest) : DefaultLongestName;
}

// A name as temporaryNameBeside() makes them.
bool isTemporaryName(std::string_view name)
{
    if (name.size() < 3 + TemporaryDigits + TemporarySuffix.size() || name.front() != '.' ||
        !name.ends_with(TemporarySuffix))
        return false;
    name.remove_suffix(TemporarySuffix.size());
    const std::string_view digits = name.substr(name.size() - TemporaryDigits);
    return name[name.size() - TemporaryDigits - 1] == '.' &&
           std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Writes data to a new temporary file beside path, trying other names while one is taken.
int writeTemporaryBeside(const QString &path, const Filler &fill, mode_t mode,
                         QByteArray *temporary)
{
    int failure = EEXIST;
    for (int attempt = 0; attempt < TemporaryNameAttempts && failure == EEXIST; ++attempt) {
        *temporary = FileWriter::temporaryNameBeside(path);
        failure = writeNew(*temporary, fill, mode);
    }
    return failure;
}

bool failed(int failure, QString *problem)
{
    *problem = systemProblem(failure);
    return false;
}

mode_t creationMode(const QByteArray &target, FileWriter::Access access)
{
    if (access == FileWriter::Access::OwnerOnly)
        return 0600;
    struct stat replaced = {};
    if (access == FileWriter::Access::AsReplaced && ::lstat(target.constData(), &replaced) == 0 &&
        S_ISREG(replaced.st_mode))
        return replaced.st_mode & 0666;
    return 0666;
}

bool replaceWith(const QString &path, const Filler &fill, FileWriter::Access access,
                 QString *problem)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary;
    const int failure = writeTemporaryBeside(path, fill, creationMode(target, access), &temporary);
    if (failure != 0)
        return failed(failure, problem);
    if (::rename(temporary.constData(), target.constData()) == 0)
        return true;
    const int renameFailure = errno;
    ::unlink(temporary.constData());
    return failed(renameFailure, problem);
}

} // namespace

namespace FileWriter {

QByteArray temporaryNameBeside(const QString &path)
{
    const QString folder = PathUtilities::deletingLastPathComponent(path);
    const qsizetype room =
        longestNameIn(folder) - qsizetype(2 + TemporaryDigits + TemporarySuffix.size());
    const QString name =
        PathUtilities::leftWithinBytes(PathUtilities::lastPathComponent(path), room);
    // Built by concatenation: a name holding "%1" must not take the place of the digits.
    const QString hidden = QLatin1Char('.') + name + QLatin1Char('.') +
                           QStringLiteral("%1").arg(QRandomGenerator::global()->generate(),
                                                    TemporaryDigits, 16, QChar(u'0')) +
                           QLatin1StringView(TemporarySuffix);
    return QFile::encodeName(PathUtilities::appendingPathComponent(folder, hidden));
}

Created createNew(const QString &path, const QByteArray &data, QString *problem)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary;
    int failure = writeTemporaryBeside(path, bytes(data), 0666, &temporary);
    if (failure == 0) {
        // Moved into place only where nothing stands, a dangling link included.
        if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(),
                        RENAME_NOREPLACE) == 0)
            return Created::Written;
        failure = errno;
        ::unlink(temporary.constData());
        // File systems that cannot rename without replacing get the file written in place.
        if (failure == EINVAL || failure == ENOSYS)
            failure = writeNew(target, bytes(data));
    }
    if (failure == 0)
        return Created::Written;
    *problem = systemProblem(failure);
    return failure == EEXIST ? Created::NameTaken : Created::Failed;
}

bool replace(const QString &path, const QByteArray &data, Access access, QString *problem)
{
    return replaceWith(path, bytes(data), access, problem);
}

bool replaceWithCopy(const QString &path, const QString &source, Access access, QString *problem)
{
    return replaceWith(path, copyOf(source), access, problem);
}

void failWritesPastSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

void removeStaleTemporaries(const QString &folder, std::chrono::seconds age)
{
    const int descriptor =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    DIR *entries = ::fdopendir(descriptor);
    if (!entries) {
        ::close(descriptor);
        return;
    }
    const std::time_t before = std::time(nullptr) - std::time_t(age.count());
    while (const dirent *entry = ::readdir(entries)) {
        struct stat info = {};
        if (!isTemporaryName(entry->d_name) ||
            ::fstatat(descriptor, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_mtime >= before)
            continue;
        if (::unlinkat(descriptor, entry->d_name, 0) == 0)
            qCInfo(lcPlatform).noquote() << "Removed the stale temporary file"
                                         << QDir(folder).filePath(QFile::decodeName(entry->d_name));
    }
    ::closedir(entries);
}

} // namespace FileWriter
