#pragma once

#include <cstdint>

namespace ringlark {

struct TColor {
    uint8_t R, G, B;
    bool operator==(const TColor&) const = default;
};

inline constexpr TColor White{255, 255, 255};
inline constexpr TColor Black{0, 0, 0};
inline constexpr TColor Navy{0, 0, 128};
inline constexpr TColor Maroon{128, 0, 0};
inline constexpr TColor Aqua{0, 255, 255};
inline constexpr TColor Fuchsia{255, 0, 255};
inline constexpr TColor Lime{0, 255, 0};

}  // namespace ringlark
