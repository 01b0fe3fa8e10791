#pragma once

#include <QByteArray>

namespace Fakes {

// Deflates at the best level; windowBits as zlib takes them: 31 gzip, 15 zlib, -15 raw.
QByteArray compress(const QByteArray &content, int windowBits);

} // namespace Fakes
