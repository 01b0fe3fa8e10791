// gzip both ways. The input after its first byte is compressed and inflated again, in memory
// and between files; it is also inflated as a body a server sent, within a limit the first
// byte chooses, in memory and into a file, which must agree.
#include "http/Gzip.h"
#include "FuzzSupport.h"

namespace {

QString scratchFile(const char *name)
{
    return QDir(Fuzz::ownTemporaryFolder()).filePath(QLatin1String(name));
}

// Nothing is left in the folder but the files named.
void checkLeft(const QStringList &names)
{
    FUZZ_CHECK(Fuzz::entriesBelow(Fuzz::ownTemporaryFolder()) == names,
               "gzip left a file it should not have, or lost one");
}

void checkRoundTrip(const QByteArray &plain)
{
    const std::optional<QByteArray> packed = Gzip::compressData(plain);
    FUZZ_CHECK(packed.has_value(), "data could not be compressed");
    bool tooLarge = true;
    FUZZ_CHECK(Gzip::uncompressZippedData(*packed, plain.size(), &tooLarge) == plain && !tooLarge,
               "compressed data did not inflate back to itself within its own size");
    if (!plain.isEmpty())
        FUZZ_CHECK(!Gzip::uncompressZippedData(*packed, plain.size() - 1, &tooLarge) && tooLarge,
                   "data inflated past a limit one byte short of it");

    const QString source = scratchFile("plain");
    const QString packedFile = scratchFile("packed.gz");
    const QString inflated = scratchFile("inflated");
    FUZZ_CHECK(Fuzz::writeFile(source, plain));
    FUZZ_CHECK(Gzip::compressDataFromFile(source, packedFile) == 0, "a file was not compressed");
    FUZZ_CHECK(Gzip::uncompressZippedData(Fuzz::readFile(packedFile)) == plain,
               "a compressed file inflates in memory to other data");
    FUZZ_CHECK(Gzip::uncompressZippedDataFromFile(packedFile, inflated, plain.size() + 1) == 0 &&
                   Fuzz::readFile(inflated) == plain,
               "a compressed file does not inflate back into a file");
    checkLeft({QStringLiteral("inflated"), QStringLiteral("packed.gz"), QStringLiteral("plain")});
    for (const QString &file : {source, packedFile, inflated})
        QFile::remove(file);
}

// The body as a server sent it: within the limit, whole and the same both ways, or refused
// both ways with nothing written.
void checkHostile(const QByteArray &body, qint64 limit)
{
    bool tooLarge = false;
    const std::optional<QByteArray> inMemory = Gzip::uncompressZippedData(body, limit, &tooLarge);
    FUZZ_CHECK(!inMemory || inMemory->size() <= limit, "a body inflated past its limit");
    FUZZ_CHECK(!tooLarge || !inMemory, "a body too large was given back");
    if (body.isEmpty())
        return;

    const QString source = scratchFile("body.gz");
    const QString destination = scratchFile("body");
    FUZZ_CHECK(Fuzz::writeFile(source, body));
    const int result = Gzip::uncompressZippedDataFromFile(source, destination, limit);
    if (result != 0) {
        // One that is both too large and corrupt may be refused for either.
        FUZZ_CHECK(!inMemory, "a body inflated in memory but not into a file");
        checkLeft({QStringLiteral("body.gz")});
    } else {
        const QByteArray written = Fuzz::readFile(destination);
        FUZZ_CHECK(written.size() <= limit, "a body was inflated into a file past its limit");
        FUZZ_CHECK(inMemory == written, "a body inflated into a file differs from memory");
        checkLeft({QStringLiteral("body"), QStringLiteral("body.gz")});
    }
    QFile::remove(source);
    QFile::remove(destination);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::ownTemporaryFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray input = Fuzz::bytes(data + 1, size - 1);
    checkRoundTrip(input);
    // Limits of a few bytes, or of up to two mebibytes so that bombs meet them.
    const qint64 limit = ((data[0] & 0x7f) + 1) * (data[0] & 0x80 ? 1 : 16384);
    checkHostile(input, limit);
    return 0;
}
