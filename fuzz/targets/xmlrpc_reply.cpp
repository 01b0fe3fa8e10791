// A method response as the OpenSubtitles client receives it.
#include "FuzzSupport.h"
#include "platform/XMLRPC.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const XMLRPCResponse response = XMLRPC::decodeResponse(Fuzz::bytes(data, size));
    switch (response.kind) {
    case XMLRPCResponse::Kind::Value: {
        // What was read can be sent back, or is refused with a reason.
        QString problem;
        if (!XMLRPC::encodeCall(QStringLiteral("Echo"), {response.value}, &problem))
            FUZZ_CHECK(!problem.isEmpty());
        break;
    }
    case XMLRPCResponse::Kind::Fault:
        FUZZ_CHECK(!response.value.isValid());
        break;
    case XMLRPCResponse::Kind::Malformed:
        FUZZ_CHECK(!response.problem.isEmpty());
        break;
    }
    return 0;
}
