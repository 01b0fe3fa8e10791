#include "http/UserAgent.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>

#include <sys/utsname.h>

QString UserAgent::defaultUserAgentString()
{
    const QString name = QCoreApplication::applicationName();
    // The kernel's version does not change while the program runs.
    static const QString osVersion = [] {
        utsname system{};
        return uname(&system) == 0 ? threeNumberVersion(QString::fromLocal8Bit(system.release))
                                   : QString();
    }();
    if (osVersion.isNull())
        return {};
    const QString version = QCoreApplication::applicationVersion();
    const QString product = version.isEmpty() ? name : name + QLatin1Char(' ') + version;
    return QStringLiteral("%1 (X11; Linux %2; %3)")
        .arg(product, osVersion, QLocale::system().name());
}

QString UserAgent::threeNumberVersion(const QString &release)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)\\.(\\d+)\\.(\\d+)"));
    const QRegularExpressionMatch match = pattern.match(release);
    if (!match.hasMatch())
        return {};
    return QStringLiteral("%1.%2.%3")
        .arg(match.captured(1).toUInt())
        .arg(match.captured(2).toUInt())
        .arg(match.captured(3).toUInt());
}
