#include "decoding/fsk/BrokenBits.h"

#include <algorithm>

namespace ringlark {

namespace {

// Broken bits further apart than this are two breaks.
constexpr std::size_t kBreakGap = 3;

}  // namespace

void CapBrokenBitCosts(const std::vector<TBitTones>& tones, std::vector<float>& costs) {
    // The breaks: runs of broken bits apart from each other.
    int breaks = 0;
    std::size_t lastBroken = 0;
    for (std::size_t i = 0; i < tones.size(); ++i) {
        if (tones[i].Broken) {
            breaks += breaks == 0 || i > lastBroken + kBreakGap ? 1 : 0;
            lastBroken = i;
        }
    }
    if (breaks == 0) {
        return;
    }
    const double nearBreak = breaks >= 2 ? CostNearBreak : 1e30;
    std::size_t c = 0;
    for (std::size_t i = 0; i < tones.size() && c < costs.size(); ++i) {
        const auto k = static_cast<int>(i % BitsPerFrame);
        if (k < 1 || k > 8) {
            continue;
        }
        const double cap = tones[i].Broken ? BrokenBitCost : nearBreak;
        costs[c] = static_cast<float>(std::min(static_cast<double>(costs[c]), cap));
        ++c;
    }
}

}  // namespace ringlark
