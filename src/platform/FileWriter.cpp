#include "platform/FileWriter.h"

#include "platform/PathUtilities.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int TemporaryNameAttempts = 16;

QString systemProblem(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

bool writeAll(int descriptor, const QByteArray &data)
{
    const char *next = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(descriptor, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        next += written;
        left -= written;
    }
    return ::fsync(descriptor) == 0;
}

// Writes data to a new file, removed again when that fails; 0 or the system's error code.
int writeNew(const QByteArray &name, const QByteArray &data, mode_t mode = 0666)
{
    const int descriptor =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (descriptor < 0)
        return errno;
    int failure = writeAll(descriptor, data) ? 0 : errno;
    if (::close(descriptor) != 0 && failure == 0)
        failure = errno;
    if (failure != 0)
        ::unlink(name.constData());
    return failure;
}

QByteArray temporaryNameBeside(const QString &path)
{
    const QString folder = PathUtilities::deletingLastPathComponent(path);
    const QString name = QStringLiteral(".%1.%2.part")
                             .arg(PathUtilities::lastPathComponent(path))
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
    return QFile::encodeName(PathUtilities::appendingPathComponent(folder, name));
}

// Writes data to a new temporary file beside path, trying other names while one is taken.
int writeTemporaryBeside(const QString &path, const QByteArray &data, mode_t mode,
                         QByteArray *temporary)
{
    int failure = EEXIST;
    for (int attempt = 0; attempt < TemporaryNameAttempts && failure == EEXIST; ++attempt) {
        *temporary = temporaryNameBeside(path);
        failure = writeNew(*temporary, data, mode);
    }
    return failure;
}

bool failed(int failure, QString *problem)
{
    *problem = systemProblem(failure);
    return false;
}

} // namespace

namespace FileWriter {

bool createNew(const QString &path, const QByteArray &data, QString *problem)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary;
    int failure = writeTemporaryBeside(path, data, 0666, &temporary);
    if (failure != 0)
        return failed(failure, problem);
    // Moved into place only where nothing stands, a dangling link included.
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(),
                    RENAME_NOREPLACE) == 0)
        return true;
    failure = errno;
    ::unlink(temporary.constData());
    // File systems that cannot rename without replacing get the file written in place.
    if (failure == EINVAL || failure == ENOSYS)
        failure = writeNew(target, data);
    return failure == 0 || failed(failure, problem);
}

bool replace(const QString &path, const QByteArray &data, Access access, QString *problem)
{
    QByteArray temporary;
    const int failure =
        writeTemporaryBeside(path, data, access == Access::OwnerOnly ? 0600 : 0666, &temporary);
    if (failure != 0)
        return failed(failure, problem);
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    const int renameFailure = errno;
    ::unlink(temporary.constData());
    return failed(renameFailure, problem);
}

} // namespace FileWriter
