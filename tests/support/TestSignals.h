#pragma once

#include <cstdint>
#include <vector>

#include "core/Bytes.h"

// Signal helpers shared by the tests and the robustness sweep: a deterministic
// Gaussian noise source (the same numbers on every machine) and conversions
// between 8-bit images and float samples.
namespace ringlark {

class TGaussianNoise {
  public:
    explicit TGaussianNoise(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    double Next();

  private:
    uint64_t NextBits();
    uint64_t state_;
    bool haveSpare_ = false;
    double spare_ = 0;
};

// Samples of an 8-bit image (offset 44 on) as floats around 0, in -1 to 1.
std::vector<float> ImageSamples(const Bytes& image);

// Floats back to an 8-bit image at the given rate, clipped.
Bytes SamplesImage(const std::vector<float>& samples, uint32_t rate);

// Averages each `factor` samples: a recording at a lower rate.
std::vector<float> Downsample(const std::vector<float>& samples, int factor);

double MeanPower(const std::vector<float>& samples);

// White Gaussian noise at the given SNR (signal power over noise power in the
// whole band), with `padding` samples of noise alone before and after.
std::vector<float> AddNoise(const std::vector<float>& samples, double snrDb, std::size_t padding,
                            uint64_t seed);

}  // namespace ringlark
