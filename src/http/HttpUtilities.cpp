#include "http/HttpUtilities.h"

#include <QFileInfo>
#include <QMimeDatabase>

QString HttpUtilities::mimeTypeForFileAtPath(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {};
    return QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
}

QString HttpUtilities::base64forData(const QByteArray &data)
{
    return QString::fromLatin1(data.toBase64());
}
