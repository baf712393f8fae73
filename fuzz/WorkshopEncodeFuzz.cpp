// Workshop rows from arbitrary text: the encoded message always frames, sums to
// zero and is explained row for row by the inspector.
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "generation/MessageBuilder.h"
#include "inspection/Inspector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<ringlark::TWorkshopRow> rows;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        const auto eq = line.find('=');
        rows.push_back({line.substr(0, eq), eq == std::string::npos ? "" : line.substr(eq + 1)});
        start = end + 1;
    }
    const auto message = ringlark::EncodeWorkshopRows(rows);
    const unsigned sum =
        std::accumulate(message.begin(), message.end(), 0u,
                        [](unsigned s, char c) { return s + static_cast<uint8_t>(c); });
    if (sum % 256 != 0 || static_cast<uint8_t>(message[0]) != 0x80) {
        __builtin_trap();
    }
    const auto table = ringlark::BuildInspector(message);
    if (table.Rows.size() != message.size()) {
        __builtin_trap();
    }
    return 0;
}
