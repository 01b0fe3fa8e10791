#pragma once

#include "fakes/http/FakeHttpServer.h"

#include <QFile>

// Serves `whole`, honouring "Range" on the path "/ranged" only.
inline FakeReply rangedReply(const RecordedRequest &request, const QByteArray &whole)
{
    const QByteArray range = request.header("Range");
    if (request.path() != "/ranged" || !range.startsWith("bytes="))
        return FakeReply::ok(whole);
    const int from = range.mid(6).chopped(1).toInt();
    FakeReply partial = FakeReply::ok(whole.mid(from));
    partial.status = 206;
    partial.withHeader("Content-Range", "bytes " + QByteArray::number(from) + '-' +
                                            QByteArray::number(whole.size() - 1) + '/' +
                                            QByteArray::number(whole.size()));
    return partial;
}

// The part of a download already on disk.
inline bool writePartialDownload(const QString &path, const QByteArray &bytes)
{
    QFile part(path);
    return part.open(QIODevice::WriteOnly) && part.write(bytes) == bytes.size();
}
