// Fuzz target of the request record decoder: anything decodes safely, and re-encodes stably.
#include <cstdint>
#include <string>

#include "FuzzTarget.h"
#include "host/Wire.h"
#include "service/RequestRecord.h"

namespace {

std::string reencode(const unsigned char* data, size_t size, bool& decoded) {
    service::RequestValues values;
    std::string error, frame;
    decoded = service::decodeRequestRecord(data, size, values, error);
    if (!decoded) {
        check(!error.empty());
        return "";
    }
    check(service::encodeRequestFrame(values, frame, error));
    return frame.substr(host::wire::kHeaderSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    bool decoded = false;
    const std::string first = reencode(data, size, decoded);
    if (!decoded) return 0;
    const std::string second =
        reencode(reinterpret_cast<const unsigned char*>(first.data()), first.size(), decoded);
    check(decoded && second == first);
    return 0;
}
