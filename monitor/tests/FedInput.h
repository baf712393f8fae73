#pragma once

#include <algorithm>
#include <vector>

#include "core/Services.h"

namespace ringlark::test {

// Samples given to a listener as a sound input, in the blocks it asks for,
// with samples lost (an overflow counted) before chosen reads.
class TFedInput : public ISoundInput {
  public:
    TFedInput(std::vector<float> samples, double rate, std::vector<int> lostBefore = {})
        : samples_(std::move(samples)), rate_(rate), lostBefore_(std::move(lostBefore)) {}
    double Rate() const override { return rate_; }
    std::size_t Read(float* out, std::size_t count) override {
        for (int read : lostBefore_) {
            overflows_ += read == reads_ ? 1 : 0;
        }
        ++reads_;
        const std::size_t n = std::min(count, samples_.size() - at_);
        std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(at_), n, out);
        at_ += n;
        return n;
    }
    int Overflows() const override { return overflows_; }

  private:
    std::vector<float> samples_;
    double rate_;
    std::vector<int> lostBefore_;
    std::size_t at_ = 0;
    int reads_ = 0;
    int overflows_ = 0;
};

}  // namespace ringlark::test
