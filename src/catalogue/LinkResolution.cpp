#include "catalogue/LinkResolution.h"

#include "platform/PathUtilities.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <filesystem>
#include <system_error>

namespace LinkResolution {

namespace {
// The kernel gives up after as many hops; a longer chain is taken for a loop.
constexpr int MaxLinkHops = 40;
} // namespace

QUrl urlByResolvingAlias(const QString &path)
{
    const QString target = stringByConditionallyResolvingSymlink(path);
    if (target.isNull() || !QFileInfo::exists(target))
        return QUrl();
    return QUrl::fromLocalFile(target);
}

QString stringByConditionallyResolvingAlias(const QString &path)
{
    const QUrl target = urlByResolvingAlias(path);
    return target.isEmpty() ? QString() : target.toLocalFile();
}

QString stringByResolvingAlias(const QString &path)
{
    const QString target = stringByConditionallyResolvingAlias(path);
    return target.isNull() ? path : target;
}

QString stringByConditionallyResolvingSymlink(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isSymLink())
        return QString();
    std::error_code failure;
    const std::filesystem::path destination =
        std::filesystem::read_symlink(QFile::encodeName(path).toStdString(), failure);
    if (failure)
        return QString();
    const QString target = QFile::decodeName(QByteArray::fromStdString(destination.string()));
    if (target.startsWith(QLatin1Char('/')))
        return PathUtilities::standardizingPath(target);
    return PathUtilities::standardizingPath(PathUtilities::appendingPathComponent(
        PathUtilities::deletingLastPathComponent(path), target));
}

QString stringByResolvingSymlink(const QString &path)
{
    const QString target = stringByConditionallyResolvingSymlink(path);
    return target.isNull() ? path : target;
}

QString stringByIterativelyResolvingSymlinkOrAlias(const QString &path)
{
    QString current = path;
    for (int hop = 0; hop <= MaxLinkHops; ++hop) {
        const QFileInfo info(current);
        if (!info.isSymLink())
            return info.exists() ? current : QString();
        current = stringByConditionallyResolvingSymlink(current);
        if (current.isNull())
            return QString();
    }
    return QString();
}

QString stringByResolvingSymlinksAndAliases(const QString &path)
{
    const QString standardized = PathUtilities::standardizingPath(path);
    if (!standardized.startsWith(QLatin1Char('/')))
        return QString();
    QString resolved = QStringLiteral("/");
    for (const QString &component : standardized.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        resolved = stringByIterativelyResolvingSymlinkOrAlias(
            PathUtilities::appendingPathComponent(resolved, component));
        if (resolved.isNull())
            return QString();
    }
    return resolved;
}

} // namespace LinkResolution
