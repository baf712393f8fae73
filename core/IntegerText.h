#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ringlark {

// The standard integer conversion of the program's edit fields: optional leading
// spaces, an optional sign, then decimal digits, or hexadecimal digits (either
// case) after "$", "x", "X", "0x" or "0X". Nothing may follow. Hexadecimal takes
// up to 32 bits ("$FFFFFFFF" is -1); decimal must fit a signed 32-bit integer.
std::optional<int32_t> ParseStandardInteger(std::string_view text);

}  // namespace ringlark
