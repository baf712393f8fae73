#include "decoding/fsk/BrokenBits.h"

#include <algorithm>

namespace ringlark {

void CapBrokenBitCosts(const std::vector<TBitTones>& tones, std::vector<float>& costs) {
    if (std::none_of(tones.begin(), tones.end(), [](const TBitTones& t) { return t.Broken; })) {
        return;
    }
    std::size_t c = 0;
    for (std::size_t i = 0; i < tones.size() && c < costs.size(); ++i) {
        const auto k = static_cast<int>(i % BitsPerFrame);
        if (k < 1 || k > 8) {
            continue;
        }
        const double cap = tones[i].Broken ? BrokenBitCost : CostNearBreak;
        costs[c] = static_cast<float>(std::min(static_cast<double>(costs[c]), cap));
        ++c;
    }
}

}  // namespace ringlark
