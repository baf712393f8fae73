// Any file loads as a workshop script; what was loaded saves and loads back the
// same whenever it holds nothing a script cannot carry.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "generation/MessageBuilder.h"
#include "workshop/WorkshopScript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const auto rows = ringlark::ParseWorkshopScript(content);
    if (!ringlark::FirstRowThatCannotBeStored(rows)) {
        bool equalsInParameter = false;
        for (const auto& row : rows) {
            equalsInParameter |= row.TypeText.find('=') != std::string::npos;
        }
        if (!equalsInParameter &&
            ringlark::ParseWorkshopScript(ringlark::FormatWorkshopScript(rows)) != rows) {
            __builtin_trap();
        }
    }
    const auto message = ringlark::EncodeWorkshopRows(rows);
    if (message.size() < 3) {
        __builtin_trap();
    }
    return 0;
}
