#include "decoding/fsk/FskFamily.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

namespace ringlark {

namespace {

template <typename TGet>
double Ratio(TGet get, std::size_t size, double rate, std::size_t from, std::size_t to) {
    constexpr std::array<double, 4> kHz = {1200, 2200, 1300, 2100};  // Bell, then V.23
    to = std::min(to, size);
    const auto block =
        std::max<std::size_t>(8, static_cast<std::size_t>(std::lround(rate * 0.010)));
    std::array<std::complex<double>, 4> step{};
    for (std::size_t k = 0; k < 4; ++k) {
        step[k] = std::polar(1.0, -2 * M_PI * kHz[k] / rate);
    }
    double bell = 0;
    double v23 = 0;
    for (std::size_t start = from; start + block <= to; start += block) {
        std::array<std::complex<double>, 4> sum{};
        std::array<std::complex<double>, 4> osc;
        osc.fill(1.0);
        for (std::size_t i = start; i < start + block; ++i) {
            const double v = get(i);
            for (std::size_t k = 0; k < 4; ++k) {
                sum[k] += v * osc[k];
                osc[k] *= step[k];
            }
        }
        bell += std::norm(sum[0]) + std::norm(sum[1]);
        v23 += std::norm(sum[2]) + std::norm(sum[3]);
    }
    return v23 > 0 ? bell / v23 : (bell > 0 ? 1e9 : 0.0);
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
