#include "testsignal/LineEffects.h"

#include <algorithm>
#include <cmath>

namespace ringlark {

namespace {

struct TBiquad {
    double b0, b1, b2, a1, a2, z1 = 0, z2 = 0;
    double Run(double v) {
        const double y = b0 * v + z1;
        z1 = b1 * v - a1 * y + z2;
        z2 = b2 * v - a2 * y;
        return y;
    }
};

// Butterworth sections (Q = 1/sqrt 2).
TBiquad Design(double rate, double hz, bool high) {
    const double w = 2 * M_PI * hz / rate;
    const double alpha = std::sin(w) / (2 * M_SQRT1_2);
    const double c = std::cos(w);
    const double a0 = 1 + alpha;
    const double b1 = high ? -(1 + c) : 1 - c;
    const double b0 = high ? (1 + c) / 2 : (1 - c) / 2;
    return TBiquad{b0 / a0, b1 / a0, b0 / a0, -2 * c / a0, (1 - alpha) / a0};
}

// A deterministic Gaussian source: xorshift64* and the polar method.
class TNoise {
  public:
    explicit TNoise(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    double Next() {
        if (spare_) {
            spare_ = false;
            return spareValue_;
        }
        double u = 0, v = 0, s = 0;
        do {
            u = 2 * Uniform() - 1;
            v = 2 * Uniform() - 1;
            s = u * u + v * v;
        } while (s >= 1 || s == 0);
        const double k = std::sqrt(-2 * std::log(s) / s);
        spare_ = true;
        spareValue_ = v * k;
        return u * k;
    }

  private:
    double Uniform() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<double>((state_ * 2685821657736338717ull) >> 11) * 0x1.0p-53;
    }
    uint64_t state_;
    bool spare_ = false;
    double spareValue_ = 0;
};

}  // namespace

std::vector<float> LineBand(std::span<const float> x, double rate) {
    TBiquad high = Design(rate, 300, true);
    TBiquad low = Design(rate, std::min(3400.0, rate * 0.45), false);
    std::vector<float> out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        out[i] = static_cast<float>(low.Run(high.Run(x[i])));
    }
    return out;
}

double BandPowerWhere(std::span<const float> x, double rate, const std::vector<bool>& mask) {
    const std::vector<float> band = LineBand(x, rate);
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < band.size() && i < mask.size(); ++i) {
        if (mask[i]) {
            sum += static_cast<double>(band[i]) * band[i];
            ++n;
        }
    }
    return n > 0 ? sum / static_cast<double>(n) : 0;
}

void AddBandNoise(std::vector<float>& signal, double rate, const std::vector<bool>& mask,
                  double snrDb, uint64_t seed) {
    TNoise source(seed);
    std::vector<float> white(signal.size());
    for (float& v : white) {
        v = static_cast<float>(source.Next());
    }
    const std::vector<float> noise = LineBand(white, rate);
    const double signalPower = BandPowerWhere(signal, rate, mask);
    const double noisePower = BandPowerWhere(noise, rate, std::vector<bool>(noise.size(), true));
    if (signalPower <= 0 || noisePower <= 0) {
        return;
    }
    const double gain = std::sqrt(signalPower / noisePower / std::pow(10.0, snrDb / 10));
    for (std::size_t i = 0; i < signal.size(); ++i) {
        signal[i] += static_cast<float>(gain * noise[i]);
    }
}

}  // namespace ringlark
