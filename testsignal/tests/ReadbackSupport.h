#pragma once

// Test signals made into WAV files and read back as the file holds them.
#include <cstdint>
#include <vector>

#include "core/Bytes.h"
#include "testsignal/TestSignal.h"

namespace ringlark::test {

// The samples of a mono PCM WAV file EncodeWav wrote (a full-scale sine
// peaks at 1).
inline std::vector<float> WavSamples(const Bytes& wav) {
    const auto byte = [&wav](std::size_t i) { return static_cast<uint8_t>(wav[i]); };
    const int bits = byte(34) | (byte(35) << 8);
    std::vector<float> out;
    for (std::size_t i = 44; i + (bits / 8) <= wav.size();
         i += static_cast<std::size_t>(bits / 8)) {
        if (bits == 8) {
            out.push_back((static_cast<float>(byte(i)) - 128.0f) / 128.0f);
        } else {
            const auto v = static_cast<int16_t>(byte(i) | (byte(i + 1) << 8));
            out.push_back(static_cast<float>(v) / 32768.0f);
        }
    }
    return out;
}

inline std::vector<float> ThroughFile(const TTestSignal& signal, TSampleFormat format) {
    return WavSamples(EncodeWav(SynthesiseTestSignal(signal), signal.Rate, format));
}

}  // namespace ringlark::test
