#pragma once

// Bell 202 (1200/2200 Hz) and V.23 (1300/2100 Hz) are 100 Hz apart: over one
// bit a decoder for either takes the other's tones too. Over 10 ms blocks they
// fall in each other's nulls, so the energies there tell them apart, also
// with a 1.5 % frequency error.
#include <array>
#include <complex>
#include <cstddef>
#include <span>

#include "core/Bytes.h"

namespace ringlark {

enum class TFskFamily { Unknown, Bell202, V23 };

// The energy at the Bell 202 tones over the energy at the V.23 tones in a
// stretch of samples [from, to) (above 1: Bell 202; 0 when there is none).
double Bell202OverV23(std::span<const float> samples, double rate, std::size_t from,
                      std::size_t to);
// The same for the samples of an 8-bit image at 44100/s (offset 44 on), taking
// every stride-th sample (4: a quarter of the work, the tones still far below
// the halved band).
double Bell202OverV23Image(const Bytes& image, std::size_t from, std::size_t to,
                           std::size_t stride = 1);

// The same ratio over samples given one at a time: the energies of 10 ms blocks
// summed as each block is complete (a block not complete at the end counts
// for nothing).
class TFamilyEnergies {
  public:
    explicit TFamilyEnergies(double rate);
    void Push(double v);
    double Ratio() const;
    std::size_t BlockLength() const { return block_; }

  private:
    std::size_t block_;
    std::size_t inBlock_ = 0;
    std::array<std::complex<double>, 4> step_{}, osc_{}, sum_{};
    double bell_ = 0, v23_ = 0;
};

// Bell 202 or V.23 when the ratio favours one by more than `margin` (a factor),
// Unknown otherwise.
TFskFamily FamilyOfRatio(double ratio, double margin = 1.0);

}  // namespace ringlark
