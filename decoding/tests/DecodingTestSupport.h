#pragma once

#include <cstdint>

#include "core/WavImage.h"
#include "tests/support/TestSupport.h"

namespace ringlark::test {

// A WAV file of 8-bit samples with the canonical 44-byte header at any rate.
inline Bytes WavFile(const Bytes& samples, uint32_t rate, uint16_t blockAlign = 1) {
    Bytes file(WavHeaderSize, '\0');
    file += samples;
    WriteWavHeader(file);
    for (int i = 0; i < 4; ++i) {
        file[24 + i] = static_cast<char>((rate >> (8 * i)) & 0xFF);
        file[28 + i] = static_cast<char>(((rate * blockAlign) >> (8 * i)) & 0xFF);
    }
    file[32] = static_cast<char>(blockAlign);
    return file;
}

// Every factor-th sample of a 44100 image, as a file at 44100 / factor.
inline Bytes Decimated(const Bytes& image, int factor) {
    Bytes samples;
    for (std::size_t i = WavHeaderSize; i < image.size(); i += static_cast<std::size_t>(factor)) {
        samples += image[i];
    }
    return WavFile(samples, static_cast<uint32_t>(44100 / factor));
}

}  // namespace ringlark::test
