// Any byte string must be explained without reading past its end.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "inspection/Inspector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    const auto table = ringlark::BuildInspector(message);
    if (table.Rows.size() != size || table.RawStream.size() != size) {
        __builtin_trap();
    }
    return 0;
}
