#include "diagnosis/LineRecording.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace ringlark {

std::vector<TRingBurstShape> NorthAmericanCadence(double first, int rings) {
    std::vector<TRingBurstShape> out;
    for (int i = 0; i < rings; ++i) {
        out.push_back({first + 6.0 * i, 2.0});
    }
    return out;
}

std::vector<TRingBurstShape> UkCadence(double first, int rings) {
    std::vector<TRingBurstShape> out;
    for (int i = 0; i < rings; ++i) {
        out.push_back({first + 3.0 * i, 0.4});
        out.push_back({first + 3.0 * i + 0.6, 0.4});
    }
    return out;
}

std::vector<float> SynthesiseLineRecording(const TLineRecordingLayout& layout) {
    const auto size = static_cast<std::size_t>(layout.Seconds * layout.Rate);
    std::vector<double> x(size, 0.0);
    std::mt19937_64 random(7);
    std::normal_distribution<double> gauss(0, std::pow(10.0, layout.NoiseDbfs / 20) * M_SQRT1_2);
    for (auto& v : x) {
        v = gauss(random);
    }
    for (const auto& ring : layout.Rings) {
        const auto from = static_cast<std::size_t>(ring.Seconds * layout.Rate);
        const auto to =
            std::min(size, static_cast<std::size_t>((ring.Seconds + ring.Duration) * layout.Rate));
        for (std::size_t i = from; i < to; ++i) {
            const double t = static_cast<double>(i - from) / layout.Rate;
            double v = layout.RingPeak * std::sin(2 * M_PI * layout.RingHz * t);
            if (layout.Rectified) {
                // full-wave rectified, its mean taken out by the coupling
                v = layout.RingPeak *
                    (std::fabs(std::sin(2 * M_PI * layout.RingHz * t)) - 2 / M_PI);
            }
            x[i] += v;
        }
    }
    for (const auto& [at, signal] : layout.Signals) {
        const auto from = static_cast<std::size_t>(std::max(0.0, at) * layout.Rate);
        for (std::size_t i = 0; i < signal.size() && from + i < size; ++i) {
            x[from + i] += signal[i];
        }
    }
    std::vector<float> out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<float>(std::clamp(x[i], -1.0, 1.0));
    }
    return out;
}

}  // namespace ringlark
