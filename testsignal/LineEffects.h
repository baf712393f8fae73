#pragma once

// What the line adds: the telephone band (300-3400 Hz) and white noise
// limited to it, at a signal-to-noise ratio measured in that band.
#include <cstdint>
#include <span>
#include <vector>

namespace ringlark {

// Second-order high-pass at 300 Hz and low-pass at 3400 Hz (or 0.45 of the
// rate when lower), the band in which Ringlark's measurements read the noise.
std::vector<float> LineBand(std::span<const float> x, double rate);

// The mean power of x in that band over the samples where mask is true.
double BandPowerWhere(std::span<const float> x, double rate, const std::vector<bool>& mask);

// Adds Gaussian white noise passed through the band, scaled so that the band
// power of `signal` over `mask` stands snrDb above the noise's band power.
// The same seed always gives the same noise.
void AddBandNoise(std::vector<float>& signal, double rate, const std::vector<bool>& mask,
                  double snrDb, uint64_t seed);

}  // namespace ringlark
