// A method response as the OpenSubtitles client receives it.
#include "FuzzSupport.h"
#include "platform/XmlRpc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const XmlRpcResponse response = XmlRpc::decodeResponse(Fuzz::bytes(data, size));
    switch (response.kind) {
    case XmlRpcResponse::Kind::Value: {
        // What was read can be sent back, or is refused with a reason.
        QString problem;
        if (!XmlRpc::encodeCall(QStringLiteral("Echo"), {response.value}, &problem))
            FUZZ_CHECK(!problem.isEmpty());
        break;
    }
    case XmlRpcResponse::Kind::Fault:
        FUZZ_CHECK(!response.value.isValid());
        break;
    case XmlRpcResponse::Kind::Malformed:
        FUZZ_CHECK(!response.problem.isEmpty());
        break;
    }
    return 0;
}
