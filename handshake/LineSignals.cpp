#include "handshake/LineSignals.h"

#include <cmath>
#include <complex>

namespace ringlark {

double DbfsToPeak(double dbfs) {
    return std::pow(10.0, dbfs / 20.0);
}

std::vector<float> Tones(std::span<const double> hz, double peak, int64_t samples, double rate) {
    std::vector<float> out(static_cast<std::size_t>(std::max<int64_t>(samples, 0)));
    for (std::size_t i = 0; i < out.size(); ++i) {
        double v = 0;
        for (double f : hz) {
            // the phase from the index, not summed: no drift over long tones
            v += peak * std::sin(2 * M_PI * f * static_cast<double>(i) / rate);
        }
        out[i] = static_cast<float>(v);
    }
    return out;
}

std::vector<float> FskBurst(const Bytes& message, int markBits, const TFskTones& tones, double peak,
                            double rate) {
    std::vector<bool> bits(static_cast<std::size_t>(markBits), true);
    for (char c : message) {
        const auto byte = static_cast<uint8_t>(c);
        bits.push_back(false);
        for (int k = 0; k < 8; ++k) {
            bits.push_back(((byte >> k) & 1) != 0);
        }
        bits.push_back(true);
    }
    bits.insert(bits.end(), 2, true);
    const double samplesPerBit = rate / tones.Baud;
    const auto total =
        static_cast<std::size_t>(std::lround(static_cast<double>(bits.size()) * samplesPerBit));
    std::vector<float> out(total);
    double phase = 0;
    for (std::size_t i = 0; i < total; ++i) {
        // the bit whose span holds the sample's centre, edges on whole samples
        const auto bit =
            std::min(bits.size() - 1,
                     static_cast<std::size_t>((static_cast<double>(i) + 0.5) / samplesPerBit));
        out[i] = static_cast<float>(peak * std::sin(phase));
        phase =
            std::fmod(phase + 2 * M_PI * (bits[bit] ? tones.Mark : tones.Space) / rate, 2 * M_PI);
    }
    return out;
}

double ToneLevelDbfs(std::span<const float> samples, double hz, double rate) {
    if (samples.empty()) {
        return -120;
    }
    std::complex<double> sum;
    const std::complex<double> step = std::polar(1.0, -2 * M_PI * hz / rate);
    std::complex<double> oscillator = 1.0;
    for (float x : samples) {
        sum += static_cast<double>(x) * oscillator;
        oscillator *= step;
    }
    const double peak = 2 * std::abs(sum) / static_cast<double>(samples.size());
    return 20 * std::log10(std::max(peak, 1e-6));
}

int64_t TOutputTrack::Place(int64_t start, std::vector<float> samples) {
    start = std::max(start, end_);
    end_ = start + static_cast<int64_t>(samples.size());
    clips_.push_back({start, std::move(samples)});
    return start;
}

float TOutputTrack::At(int64_t now) {
    while (!clips_.empty() &&
           now >= clips_.front().Start + static_cast<int64_t>(clips_.front().Samples.size())) {
        clips_.erase(clips_.begin());
    }
    if (clips_.empty() || now < clips_.front().Start) {
        return 0.0f;
    }
    return clips_.front().Samples[static_cast<std::size_t>(now - clips_.front().Start)];
}

}  // namespace ringlark
