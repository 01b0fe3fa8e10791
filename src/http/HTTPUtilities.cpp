#include "http/HTTPUtilities.h"

#include <QFileInfo>
#include <QMimeDatabase>

QString HTTPUtilities::mimeTypeForFileAtPath(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    return QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
}

QString HTTPUtilities::base64forData(const QByteArray &data)
{
    return QString::fromLatin1(data.toBase64());
}
