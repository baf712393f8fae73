// Any byte string must be explained without reading past its end, and checked
// against the message rules the same way: a message that passes every rule
// has a known type, a length byte that matches and a checksum that holds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "generation/MessageBuilder.h"
#include "inspection/Inspector.h"
#include "protocol/MessageRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    const auto table = ringlark::BuildInspector(message);
    if (table.Rows.size() != size || table.RawStream.size() != size) {
        __builtin_trap();
    }
    const auto check = ringlark::CheckMessage(message);
    if (check.Passed) {
        const bool framed = size >= 3 && ringlark::IsKnownMessageType(data[0]) &&
                            data[1] + 3u == size &&
                            ringlark::CidChecksum(message.substr(0, size - 1)) == data[size - 1];
        if (!framed || !check.Reason.empty()) {
            __builtin_trap();
        }
    } else if (check.Reason.empty()) {
        __builtin_trap();
    }
    return 0;
}
