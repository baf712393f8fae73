#include "decoding/tones/RepeatedSamples.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace ringlark {

namespace {

// Samples compared around a stretch for how often its delay gives equal
// samples by itself.
constexpr std::size_t kAround = 1024;
// Samples that make a key: the last occurrence of the same key is where a
// repeat would come from.
constexpr std::size_t kKey = 4;
constexpr unsigned kTableBits = 16;
// The odds against chance that a stretch must show.
const double kLogChance = std::log(1e-6);
constexpr double kLeastChance = 1e-4;

uint32_t Bits(float v) {
    uint32_t u = 0;
    std::memcpy(&u, &v, sizeof u);
    return u;
}

}  // namespace

void TVectorSamples::Read(std::size_t from, std::size_t to, std::vector<float>& out) const {
    out.assign(samples_.begin() + static_cast<std::ptrdiff_t>(from),
               samples_.begin() + static_cast<std::ptrdiff_t>(to));
}

double NoiseInSteps(const TSampleView& input, std::size_t from, std::size_t to, double rate,
                    double toneHz) {
    from = std::max(from, input.First());
    to = std::min(to, input.End());
    if (to < from + 64 || rate <= 0) {
        return 0;
    }
    std::vector<float> x;
    input.Read(from, to, x);
    // A steady tone is its last two samples' 2 cos(w) x[n-1] - x[n-2]: what
    // is left is the noise, (2 + 4 cos^2 w) times its power.
    const double c = std::cos(2 * M_PI * toneHz / rate);
    std::vector<double> left;
    for (std::size_t i = 2; i < x.size(); ++i) {
        left.push_back(std::fabs(static_cast<double>(x[i]) - 2 * c * static_cast<double>(x[i - 1]) +
                                 static_cast<double>(x[i - 2])));
    }
    // The step of the values: each sample is a whole multiple of a power of
    // two (1/32768 at 16 bits, 1/128 at 8, at float precision a step that
    // grows with the value); a quarter of them on the finest steps.
    std::vector<int> steps;
    for (float v : x) {
        const uint32_t u = Bits(v);
        const auto exponent = static_cast<int>((u >> 23) & 0xFF);
        if (v != 0.0f && exponent > 0) {
            const uint32_t mantissa = (u & 0x7FFFFF) | 0x800000;
            steps.push_back(exponent - 150 + std::countr_zero(mantissa));
        }
    }
    if (steps.size() < x.size() / 2) {
        return 0;  // silence
    }
    std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 4),
                     steps.end());
    const double step = std::ldexp(1.0, steps[steps.size() / 4]);
    std::nth_element(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(left.size() / 2),
                     left.end());
    const double sigma = 1.4826 * left[left.size() / 2] / std::sqrt(2 + 4 * c * c);
    return sigma / step;
}

std::vector<TRepeat> FindRepeats(const TSampleView& input, std::size_t from, std::size_t to,
                                 double rate, double noiseSteps) {
    std::vector<TRepeat> found;
    if (noiseSteps < kMinNoiseSteps) {
        return found;  // too clean to tell a repeat from the tone's own period
    }
    // Two samples with this noise, differing by a normal spread of sigma
    // sqrt(2), fall on the same step about step / (2 sqrt(pi) sigma) of the
    // time; at least as often as a 14-bit capture's would.
    const double noise = std::max(1 / (2 * std::sqrt(M_PI) * noiseSteps), kLeastChance);
    const auto most = static_cast<std::size_t>(std::max(2.0, std::round(kMostRepeatDelay * rate)));
    from = std::max(from, input.First());
    to = std::min(to, input.End());
    if (to < from + 2 * kKey) {
        return found;
    }
    const std::size_t base = from - std::min(from - input.First(), most + kAround);
    const std::size_t end = std::min(input.End(), to + kAround);
    std::vector<float> samples;
    input.Read(base, end, samples);
    std::vector<uint32_t> x(samples.size());
    std::transform(samples.begin(), samples.end(), x.begin(), Bits);
    const double logTrials = std::log(static_cast<double>(to - from) * static_cast<double>(most));
    std::vector<std::ptrdiff_t> last(std::size_t{1} << kTableBits, -1);
    for (std::size_t n = kKey - 1; n < x.size(); ++n) {
        uint64_t key = 0x9E3779B97F4A7C15ull;
        for (std::size_t j = 0; j < kKey; ++j) {
            key = (key ^ x[n - j]) * 0xBF58476D1CE4E5B9ull;
        }
        const auto bucket = static_cast<std::size_t>(key >> (64 - kTableBits));
        const std::ptrdiff_t m = last[bucket];
        last[bucket] = static_cast<std::ptrdiff_t>(n);
        if (base + n + 1 < from + kKey || base + n >= to || m < 0 ||
            n - static_cast<std::size_t>(m) > most) {
            continue;
        }
        const std::size_t d = n - static_cast<std::size_t>(m);
        bool same = true;
        for (std::size_t j = 0; j < kKey && same; ++j) {
            same = x[n - j] == x[n - j - d];
        }
        if (!same) {
            continue;
        }
        // The whole stretch that repeats at this delay.
        std::size_t s = n + 1 - kKey;
        while (s > d && base + s > from && x[s - 1] == x[s - 1 - d]) {
            --s;
        }
        std::size_t e = n + 1;
        while (e < x.size() && base + e < to && x[e] == x[e - d]) {
            ++e;
        }
        // How often this delay gives equal samples around the stretch, and how
        // often the noise there would (ChanceOfEqual).
        std::size_t equal = 0;
        std::size_t compared = 0;
        for (std::size_t i = std::max(d, s > kAround ? s - kAround : 0); i < s; ++i, ++compared) {
            equal += x[i] == x[i - d] ? 1 : 0;
        }
        for (std::size_t i = e; i < std::min(x.size(), e + kAround); ++i, ++compared) {
            equal += x[i] == x[i - d] ? 1 : 0;
        }
        const double chance =
            std::max(noise, (static_cast<double>(equal) + 1) / (static_cast<double>(compared) + 2));
        std::size_t changes = 0;
        for (std::size_t i = s + 1; i < e; ++i) {
            changes += x[i] != x[i - 1] ? 1 : 0;
        }
        if (static_cast<double>(changes) * std::log(chance) + logTrials < kLogChance) {
            found.push_back({base + s, base + e, d, e - s == d});
        }
        n = e;  // the stretch is found whole; the next may begin after it
    }
    return found;
}

}  // namespace ringlark
