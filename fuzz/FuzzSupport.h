#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringDecoder>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

// A broken promise of the code under test: reported, with what it means when given, and
// turned into a crash the fuzzer keeps.
#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition))                                                                          \
            Fuzz::fail(__FILE__, __LINE__, #condition __VA_OPT__(, ) __VA_ARGS__);                 \
    } while (false)

namespace Fuzz {

[[noreturn]] inline void fail(const char *file, int line, const char *condition,
                              const char *meaning = nullptr)
{
    std::fprintf(stderr, "%s:%d: check failed: %s%s%s\n", file, line, condition,
                 meaning ? "\n  " : "", meaning ? meaning : "");
    std::abort();
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// The input as text, or nothing when it is no UTF-8.
inline std::optional<QString> text(const uint8_t *data, size_t size)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(bytes(data, size));
    if (utf8.hasError())
        return std::nullopt;
    return decoded;
}

// Code that needs an application object (folders, resources, the event loop) gets one that
// lives as long as the process.
inline void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "trovanel-fuzz";
    static char *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

// A folder of the process's own below the temporary folder, made once.
inline const QTemporaryDir &scratch()
{
    static const QTemporaryDir folder;
    if (!folder.isValid())
        fail(__FILE__, __LINE__, "folder.isValid()", "no scratch folder can be made");
    return folder;
}

// An empty folder of that name in the scratch folder, emptied if it was there.
inline QString freshFolder(const QString &name)
{
    const QString folder = scratch().filePath(name);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

// Makes a folder of the scratch folder the process's temporary folder, so that what the code
// leaves there is told apart from what targets running beside it write.
inline QString ownTemporaryFolder()
{
    static const QString folder = [] {
        const QString path = scratch().filePath(QStringLiteral("tmp"));
        QDir().mkpath(path);
        qputenv("TMPDIR", QFile::encodeName(path));
        return path;
    }();
    return folder;
}

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file, folder and link below the folder, hidden ones too, as paths relative to it.
inline QStringList entriesBelow(const QString &folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries.append(QDir(folder).relativeFilePath(it.next()));
    entries.sort();
    return entries;
}

} // namespace Fuzz
