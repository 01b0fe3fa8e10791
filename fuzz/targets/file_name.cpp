// A video or subtitle file's path, read with the bundled patterns.
#include "FuzzSupport.h"
#include "catalogue/TNVideoFileParser.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const TNVideoFileParser parser = TNVideoFileParser::withBundledExpressions();
    const ParserResult result = parser.parseFile(QString::fromUtf8(Fuzz::bytes(data, size)));
    FUZZ_CHECK(!result.season || result.episode);
    return 0;
}
