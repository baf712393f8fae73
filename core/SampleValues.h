#pragma once

#include <algorithm>
#include <cmath>
#include <span>

namespace ringlark {

// Samples as every decoder and measurement takes them: one that is not a
// number or infinite counts as 0, and an absurdly large one (a float file
// scaled wrongly) is held at +-10000, so that one bad sample cannot poison a
// running sum or an energy. Samples in the usual -1 to 1 pass unchanged.
constexpr float kSampleLimit = 1e4f;

inline float SaneSample(float value) {
    return std::isfinite(value) ? std::clamp(value, -kSampleLimit, kSampleLimit) : 0.0f;
}

inline void MakeSane(std::span<float> samples) {
    for (float& value : samples) {
        value = SaneSample(value);
    }
}

}  // namespace ringlark
