#include "generation/StandardsSynth.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/WavImage.h"
#include "generation/FskSynth.h"

namespace ringlark {

namespace {

constexpr double kRate = SampleRate;

// Appends samples of a sum of tones, each with its own running phase.
class TToneWriter {
  public:
    TToneWriter(Bytes& stream, int amplitude) : stream_(stream), amplitude_(amplitude) {}
    void Tones(std::initializer_list<double> hz, double seconds, double share) {
        const auto n = static_cast<std::size_t>(std::lround(seconds * kRate));
        std::vector<double> phases(hz.size(), 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            double v = 0;
            std::size_t k = 0;
            for (double f : hz) {
                v += share * std::sin(phases[k]);
                phases[k] += 2 * M_PI * f / kRate;
                ++k;
            }
            Put(v);
        }
    }
    void Quiet(double seconds) {
        stream_.append(static_cast<std::size_t>(std::lround(seconds * kRate)),
                       static_cast<char>(128));
    }
    // FSK bits at exactly 1200/s, phase-continuous across bits and calls.
    void Bits(const std::vector<bool>& bits, double mark, double space) {
        const double samplesPerBit = kRate / 1200.0;
        const std::size_t total =
            static_cast<std::size_t>(std::lround(static_cast<double>(bits.size()) * samplesPerBit));
        for (std::size_t i = 0; i < total; ++i) {
            const auto bit = std::min(
                bits.size() - 1, static_cast<std::size_t>(static_cast<double>(i) / samplesPerBit));
            Put(std::sin(fskPhase_));
            fskPhase_ =
                std::fmod(fskPhase_ + 2 * M_PI * (bits[bit] ? mark : space) / kRate, 2 * M_PI);
        }
    }

  private:
    void Put(double v) {
        const long value = 128 + std::lround(amplitude_ * v);
        stream_ += static_cast<char>(std::clamp(value, 0L, 255L));
    }
    Bytes& stream_;
    int amplitude_;
    double fskPhase_ = 0;
};

std::vector<bool> FramedBits(const TV23Timing& timing, const Bytes& message) {
    std::vector<bool> bits;
    for (int i = 0; i < timing.SeizureBits; ++i) {
        bits.push_back(i % 2 == 1);  // a space first
    }
    bits.insert(bits.end(), static_cast<std::size_t>(timing.MarkBits), true);
    for (char c : message) {
        const auto byte = static_cast<uint8_t>(c);
        bits.push_back(false);
        for (int k = 0; k < 8; ++k) {
            bits.push_back(((byte >> k) & 1) != 0);
        }
        bits.push_back(true);
    }
    return bits;
}

}  // namespace

Bytes SynthesiseV23Image(const Bytes& message, const TV23Timing& timing, int amplitude) {
    Bytes stream(WavHeaderSize, '\0');
    TToneWriter writer(stream, amplitude);
    if (timing.AlertSeconds > 0) {
        writer.Tones({2130.0, 2750.0}, timing.AlertSeconds, 0.5);
        writer.Quiet(timing.QuietSeconds);
    }
    writer.Bits(FramedBits(timing, message), V23MarkHz, V23SpaceHz);
    WriteWavHeader(stream);
    return stream;
}

Bytes SynthesiseDtmfImage(std::string_view digits, int amplitude, double toneSeconds,
                          double gapSeconds) {
    Bytes stream(WavHeaderSize, '\0');
    TToneWriter writer(stream, amplitude);
    for (char c : digits) {
        if (const auto tones = DtmfTones(c)) {
            writer.Tones({tones->first, tones->second}, toneSeconds, 0.5);
            writer.Quiet(gapSeconds);
        }
    }
    WriteWavHeader(stream);
    return stream;
}

}  // namespace ringlark
