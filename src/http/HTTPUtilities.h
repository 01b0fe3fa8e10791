#pragma once

#include <QByteArray>
#include <QString>

// Small stateless helpers of the engine.
class HTTPUtilities
{
public:
    // Null when nothing exists at the path; "application/octet-stream" for unknown types.
    static QString mimeTypeForFileAtPath(const QString &path);
    // Standard alphabet with "=" padding and no line breaks.
    static QString base64forData(const QByteArray &data);
};
