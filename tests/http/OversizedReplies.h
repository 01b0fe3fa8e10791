#pragma once

#include "http/Gzip.h"

#include "fakes/http/FakeHttpServer.h"

// Bodies past a limit of 1 MiB: "/endless" runs until the connection closes, "/chunked" in
// chunks without end, "/announced" is AnnouncedSize bytes with their length, and "/bomb" is
// 64 KiB that inflate to 64 MiB.
inline constexpr qint64 AnnouncedSize = 4 * 1024 * 1024;

inline void serveOversizedReplies(FakeHttpServer &server)
{
    const QByteArray block(64 * 1024, 'x');
    FakeReply endless = FakeReply::ok(block);
    endless.framing = FakeReply::Framing::Close;
    endless.bodyRepeat = 1 << 20;
    server.setReply("/endless", endless);
    FakeReply chunked = endless;
    chunked.framing = FakeReply::Framing::Chunked;
    chunked.chunkSize = 8192;
    server.setReply("/chunked", chunked);
    FakeReply announced = FakeReply::ok(block);
    announced.bodyRepeat = AnnouncedSize / block.size();
    server.setReply("/announced", announced);
    server.setReply("/bomb", FakeReply::ok(*Gzip::compressData(QByteArray(64 << 20, '\0')))
                                 .withHeader("Content-Encoding", "gzip"));
}
