// A date from a response head ("Date", "Expires", "Last-Modified", cookie expiry).
#include "FuzzSupport.h"
#include "http/HTTPDate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QDateTime date =
        HTTPDate::dateFromRFC1123String(QString::fromUtf8(Fuzz::bytes(data, size)));
    if (!date.isValid())
        return 0;
    // A date read is one the program can write and read back: the cache stores dates that way.
    const QString written = HTTPDate::rfc1123String(date);
    FUZZ_CHECK(HTTPDate::dateFromRFC1123String(written) == date);
    return 0;
}
