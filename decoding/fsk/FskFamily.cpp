#include "decoding/fsk/FskFamily.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

namespace ringlark {

TFamilyEnergies::TFamilyEnergies(double rate)
    : block_(std::max<std::size_t>(8, static_cast<std::size_t>(std::lround(rate * 0.010)))) {
    constexpr std::array<double, 4> kHz = {1200, 2200, 1300, 2100};  // Bell, then V.23
    for (std::size_t k = 0; k < 4; ++k) {
        step_[k] = std::polar(1.0, -2 * M_PI * kHz[k] / rate);
    }
    osc_.fill(1.0);
}

void TFamilyEnergies::Push(double v) {
    for (std::size_t k = 0; k < 4; ++k) {
        sum_[k] += v * osc_[k];
        osc_[k] *= step_[k];
    }
    if (++inBlock_ == block_) {
        bell_ += std::norm(sum_[0]) + std::norm(sum_[1]);
        v23_ += std::norm(sum_[2]) + std::norm(sum_[3]);
        sum_.fill(0.0);
        osc_.fill(1.0);
        inBlock_ = 0;
    }
}

double TFamilyEnergies::Ratio() const {
    return v23_ > 0 ? bell_ / v23_ : (bell_ > 0 ? 1e9 : 0.0);
}

namespace {

// Whole 10 ms blocks of [from, to) only.
template <typename TGet>
double Ratio(TGet get, std::size_t size, double rate, std::size_t from, std::size_t to) {
    to = std::min(to, size);
    TFamilyEnergies energies(rate);
    const std::size_t block = energies.BlockLength();
    for (std::size_t start = from; start + block <= to; start += block) {
        for (std::size_t i = start; i < start + block; ++i) {
            energies.Push(get(i));
        }
    }
    return energies.Ratio();
}

}  // namespace

double Bell202OverV23(std::span<const float> samples, double rate, std::size_t from,
                      std::size_t to) {
    return Ratio([&](std::size_t i) { return static_cast<double>(samples[i]); }, samples.size(),
                 rate, from, to);
}

double Bell202OverV23Image(const Bytes& image, std::size_t from, std::size_t to,
                           std::size_t stride) {
    stride = std::max<std::size_t>(1, stride);
    const std::size_t size = image.size() > 44 ? (image.size() - 44) / stride : 0;
    return Ratio(
        [&](std::size_t i) {
            return static_cast<double>(static_cast<uint8_t>(image[44 + i * stride])) - 128;
        },
        size, 44100.0 / static_cast<double>(stride), from / stride, to / stride);
}

TFskFamily FamilyOfRatio(double ratio, double margin) {
    if (ratio > margin) {
        return TFskFamily::Bell202;
    }
    if (ratio > 0 && ratio < 1 / margin) {
        return TFskFamily::V23;
    }
    return TFskFamily::Unknown;
}

}  // namespace ringlark
