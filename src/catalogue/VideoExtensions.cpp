#include "catalogue/VideoExtensions.h"

#include "platform/PathUtilities.h"

namespace {

bool hasExtensionIn(const QString &path, const QSet<QString> &extensions)
{
    const QString extension = PathUtilities::pathExtension(path);
    return !extension.isEmpty() && extensions.contains(extension.toLower());
}

} // namespace

const QSet<QString> &VideoExtensions::getVideoExtensions()
{
    static const QSet<QString> extensions{
        QStringLiteral("3g2"),  QStringLiteral("3gp"),  QStringLiteral("asf"),
        QStringLiteral("asx"),  QStringLiteral("avi"),  QStringLiteral("dat"),
        QStringLiteral("divx"), QStringLiteral("dv"),   QStringLiteral("f4v"),
        QStringLiteral("fli"),  QStringLiteral("flv"),  QStringLiteral("m2t"),
        QStringLiteral("m2ts"), QStringLiteral("m4v"),  QStringLiteral("mjp"),
        QStringLiteral("mkv"),  QStringLiteral("mov"),  QStringLiteral("mp4"),
        QStringLiteral("mpeg"), QStringLiteral("mpg"),  QStringLiteral("mpg2"),
        QStringLiteral("mpg4"), QStringLiteral("mts"),  QStringLiteral("mtv"),
        QStringLiteral("mxf"),  QStringLiteral("ogm"),  QStringLiteral("ogv"),
        QStringLiteral("qt"),   QStringLiteral("qtz"),  QStringLiteral("rm"),
        QStringLiteral("rmvb"), QStringLiteral("rv"),   QStringLiteral("swf"),
        QStringLiteral("ts"),   QStringLiteral("tp"),   QStringLiteral("vc1"),
        QStringLiteral("vcd"),  QStringLiteral("vfw"),  QStringLiteral("vob"),
        QStringLiteral("vro"),  QStringLiteral("webm"), QStringLiteral("wmv"),
        QStringLiteral("xvid"), QStringLiteral("yuv"),  QStringLiteral("mp4v")};
    return extensions;
}

const QSet<QString> &VideoExtensions::getSubtitleExtensions()
{
    static const QSet<QString> extensions{
        QStringLiteral("sub"), QStringLiteral("srt"),  QStringLiteral("smi"), QStringLiteral("txt"),
        QStringLiteral("ssa"), QStringLiteral("text"), QStringLiteral("aqt"), QStringLiteral("jss"),
        QStringLiteral("ass"), QStringLiteral("idx"),  QStringLiteral("ifo"), QStringLiteral("rar"),
        QStringLiteral("zip")};
    return extensions;
}

bool VideoExtensions::isVideoFile(const QString &path)
{
    return hasExtensionIn(path, getVideoExtensions());
}

bool VideoExtensions::isSubtitleFile(const QString &path)
{
    return hasExtensionIn(path, getSubtitleExtensions());
}

QStringList VideoExtensions::supportedVideoExtensions()
{
    return getVideoExtensions().values();
}

QStringList VideoExtensions::supportedSubtitleExtensions()
{
    return getSubtitleExtensions().values();
}
