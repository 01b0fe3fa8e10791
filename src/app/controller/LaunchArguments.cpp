#include "app/controller/LaunchArguments.h"

#include <QDir>
#include <QRegularExpression>
#include <QUrl>

LaunchArguments LaunchArguments::parse(const QStringList &arguments)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    LaunchArguments result;
    for (const QString &argument : arguments) {
        if (argument.isEmpty())
            continue;
        if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
            const QUrl url(argument);
            if (url.isLocalFile())
                result.paths.append(QDir::cleanPath(url.toLocalFile()));
        } else if (scheme.match(argument).hasMatch()) {
            result.urls.append(argument);
        } else {
            result.paths.append(QDir::cleanPath(QDir::current().absoluteFilePath(argument)));
        }
    }
    return result;
}
