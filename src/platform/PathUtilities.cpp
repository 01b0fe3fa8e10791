#include "platform/PathUtilities.h"

#include <QDir>
#include <QStringList>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace PathUtilities {

namespace {

const QChar Separator = QLatin1Char('/');
const QChar Dot = QLatin1Char('.');

QString strippingTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(Separator))
        path.chop(1);
    return path;
}

QString collapsingSlashes(const QString &path)
{
    QString result;
    result.reserve(path.size());
    for (const QChar c : path) {
        if (c == Separator && result.endsWith(Separator))
            continue;
        result.append(c);
    }
    return strippingTrailingSlashes(result);
}

// Index of the dot that starts the extension of a path component, or -1. The stem before
// it must hold something other than dots, so ".avi", ".." and "..x" have no extension.
qsizetype extensionDot(const QString &component)
{
    const qsizetype dot = component.lastIndexOf(Dot);
    if (dot <= 0 || dot == component.size() - 1)
        return -1;
    for (qsizetype i = 0; i < dot; ++i) {
        if (component.at(i) != Dot)
            return dot;
    }
    return -1;
}

QString homeFolderOf(const QString &user)
{
    if (user.isEmpty())
        return QDir::homePath();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd *found = nullptr;
    const QByteArray name = user.toLocal8Bit();
    if (getpwnam_r(name.constData(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return QString::fromLocal8Bit(found->pw_dir);
}

} // namespace

QString lastPathComponent(const QString &path)
{
    const QString stripped = strippingTrailingSlashes(path);
    if (stripped == Separator)
        return stripped;
    return stripped.mid(stripped.lastIndexOf(Separator) + 1);
}

QString pathExtension(const QString &path)
{
    const QString component = lastPathComponent(path);
    const qsizetype dot = extensionDot(component);
    return dot < 0 ? QString() : component.mid(dot + 1);
}

QString deletingPathExtension(const QString &path)
{
    const QString stripped = strippingTrailingSlashes(path);
    const QString component = lastPathComponent(stripped);
    const qsizetype dot = extensionDot(component);
    if (dot < 0)
        return stripped;
    return stripped.left(stripped.size() - component.size() + dot);
}

QString deletingLastPathComponent(const QString &path)
{
    const QString stripped = strippingTrailingSlashes(path);
    const qsizetype slash = stripped.lastIndexOf(Separator);
    if (slash < 0)
        return QString();
    if (slash == 0)
        return QString(Separator);
    return strippingTrailingSlashes(stripped.left(slash));
}

QString appendingPathComponent(const QString &path, const QString &component)
{
    if (path.isEmpty())
        return collapsingSlashes(component);
    return collapsingSlashes(path + Separator + component);
}

QString appendingPathExtension(const QString &path, const QString &extension)
{
    const QString stripped = strippingTrailingSlashes(path);
    if (stripped.isEmpty() || stripped == Separator || extension.contains(Separator))
        return QString();
    return stripped + Dot + extension;
}

QString expandingTildeInPath(const QString &path)
{
    if (!path.startsWith(QLatin1Char('~')))
        return path;
    const qsizetype slash = path.indexOf(Separator);
    const QString user = path.mid(1, slash < 0 ? -1 : slash - 1);
    const QString home = homeFolderOf(user);
    if (home.isEmpty())
        return path;
    return strippingTrailingSlashes(home + (slash < 0 ? QString() : path.mid(slash)));
}

QString standardizingPath(const QString &path)
{
    const QString expanded = expandingTildeInPath(path);
    const bool absolute = expanded.startsWith(Separator);
    QStringList kept;
    for (const QString &component : expanded.split(Separator, Qt::SkipEmptyParts)) {
        if (component == QLatin1String("."))
            continue;
        if (absolute && component == QLatin1String("..")) {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(component);
    }
    if (absolute)
        return Separator + kept.join(Separator);
    if (kept.isEmpty())
        return expanded.isEmpty() ? QString() : QStringLiteral(".");
    return kept.join(Separator);
}

QString leftWithinBytes(const QString &name, qsizetype bytes)
{
    const QByteArray utf8 = name.toUtf8();
    if (utf8.size() <= bytes)
        return name;
    qsizetype cut = std::max<qsizetype>(bytes, 0);
    while (cut > 0 && (uchar(utf8.at(cut)) & 0xC0) == 0x80)
        --cut;
    return QString::fromUtf8(utf8.left(cut));
}

} // namespace PathUtilities
