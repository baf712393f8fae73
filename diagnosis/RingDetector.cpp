#include "diagnosis/RingDetector.h"

#include <algorithm>
#include <cmath>

namespace ringlark {

namespace {

constexpr double kBlockSeconds = 0.010;
constexpr double kWindowSeconds = 0.080;
constexpr double kLowHz = 90;
constexpr double kDcHz = 5;
// A block carries the burst when its low-band energy is this share of the
// burst's loudest block (a block around a zero crossing of slow ringing
// holds little).
constexpr double kEdgeShare = 0.05;
// Peak over RMS below this: the waveform is flattened (a sine has 1.41).
constexpr double kClippedCrest = 1.3;
// The zero-crossing hysteresis, relative to full scale.
constexpr double kHysteresis = 0.02;

}  // namespace

TRingDetector::TRingDetector(double rate, TSettings settings) : rate_(rate), settings_(settings) {
    blockLength_ =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(rate * kBlockSeconds)));
    windowBlocks_ = static_cast<std::size_t>(std::lround(kWindowSeconds / kBlockSeconds));
    const auto lowPass = [&](double q) {
        const double w = 2 * M_PI * kLowHz / rate;
        const double alpha = std::sin(w) / (2 * q);
        const double a0 = 1 + alpha;
        TBiquad b;
        b.B0 = (1 - std::cos(w)) / 2 / a0;
        b.B1 = (1 - std::cos(w)) / a0;
        b.B2 = b.B0;
        b.A1 = -2 * std::cos(w) / a0;
        b.A2 = (1 - alpha) / a0;
        return b;
    };
    // fourth-order Butterworth: two sections
    low1_ = lowPass(0.5412);
    low2_ = lowPass(1.3066);
    {
        const double w = 2 * M_PI * kDcHz / rate;
        const double alpha = std::sin(w) / (2 * M_SQRT1_2);
        const double a0 = 1 + alpha;
        dc_.B0 = (1 + std::cos(w)) / 2 / a0;
        dc_.B1 = -(1 + std::cos(w)) / a0;
        dc_.B2 = dc_.B0;
        dc_.A1 = -2 * std::cos(w) / a0;
        dc_.A2 = (1 - alpha) / a0;
    }
    const auto longest = static_cast<std::size_t>(std::ceil(settings_.MaxSeconds / kBlockSeconds));
    history_.resize(longest + 2 * windowBlocks_ + 16);
}

void TRingDetector::Push(float x, std::vector<TRingBurst>& found) {
    const double y = dc_.Push(x);
    const double low = low2_.Push(low1_.Push(y));
    if (index_ % blockLength_ == 0 && index_ > 0) {
        EndBlock(found);
    }
    block_.Energy += y * y;
    block_.Low += low * low;
    block_.Raw += static_cast<double>(x) * x;
    block_.Peak = std::max(block_.Peak, std::fabs(x));
    if (low > kHysteresis || low < -kHysteresis) {
        const int sign = low > 0 ? 1 : -1;
        if (lowSign_ != 0 && sign != lowSign_) {
            ++block_.Crossings;
        }
        lowSign_ = sign;
    }
    ++index_;
}

void TRingDetector::EndBlock(std::vector<TRingBurst>& found) {
    block_.First = index_ >= blockLength_ ? index_ - blockLength_ : 0;
    history_[blockNumber_ % history_.size()] = block_;
    block_ = {};
    const std::size_t number = blockNumber_++;
    if (number + 1 < windowBlocks_) {
        return;
    }
    double energy = 0, low = 0, loudest = 0;
    for (std::size_t k = number + 1 - windowBlocks_; k <= number; ++k) {
        energy += BlockAt(k).Energy;
        low += BlockAt(k).Low;
        loudest = std::max(loudest, BlockAt(k).Low);
    }
    const double samples = static_cast<double>(windowBlocks_ * blockLength_);
    const double minRms = M_SQRT1_2 * std::pow(10.0, settings_.MinLevelDbfs / 20);
    const bool rings = low >= settings_.MinLowShare * energy && low / samples >= minRms * minRms;
    if (rings) {
        if (!run_.Open) {
            run_.Open = true;
            run_.FirstBlock = number;
            double loudestAll = 0;
            for (std::size_t k = number + 1 - windowBlocks_; k <= number; ++k) {
                loudestAll = std::max(loudestAll, BlockAt(k).Raw);
            }
            for (std::size_t k = number + 1 - windowBlocks_; k <= number; ++k) {
                if (BlockAt(k).Raw >= kEdgeShare * loudestAll) {
                    run_.FirstBlock = k;
                    break;
                }
            }
        }
        run_.LastBlock = number;
        quietBlocks_ = 0;
        if (number - run_.FirstBlock + windowBlocks_ + 8 >= history_.size()) {
            // longer than any ring: hum or a tone, never reported
            run_.TooLong = true;
        }
        return;
    }
    if (run_.Open && ++quietBlocks_ > static_cast<std::size_t>(
                                          std::lround(settings_.BridgeSeconds / kBlockSeconds))) {
        EndRun(found);
    }
}

void TRingDetector::EndRun(std::vector<TRingBurst>& found) {
    TRun run = run_;
    run_ = {};
    quietBlocks_ = 0;
    if (run.TooLong) {
        return;
    }
    double loudest = 0;
    for (std::size_t k = run.FirstBlock; k <= run.LastBlock; ++k) {
        loudest = std::max(loudest, BlockAt(k).Raw);
    }
    std::size_t last = run.LastBlock;
    while (last > run.FirstBlock && BlockAt(last).Raw < kEdgeShare * loudest) {
        --last;
    }
    double energy = 0, raw = 0;
    int crossings = 0;
    float peak = 0;
    for (std::size_t k = run.FirstBlock; k <= last; ++k) {
        energy += BlockAt(k).Energy;
        raw += BlockAt(k).Raw;
        crossings += BlockAt(k).Crossings;
        peak = std::max(peak, BlockAt(k).Peak);
    }
    const double samples = static_cast<double>((last - run.FirstBlock + 1) * blockLength_);
    TRingBurst burst;
    burst.Seconds = static_cast<double>(BlockAt(run.FirstBlock).First) / rate_;
    burst.Duration = samples / rate_;
    burst.Hz = crossings / 2.0 / burst.Duration;
    const double rms = std::sqrt(energy / samples);
    burst.LevelDbfs = 20 * std::log10(std::max(1e-9, rms / M_SQRT1_2));
    // the crest of the waveform as it came, before the DC filter bends its flat tops
    const double rawRms = std::sqrt(raw / samples);
    burst.Clipped = rawRms > 0 && peak / rawRms < kClippedCrest;
    if (burst.Duration >= settings_.MinSeconds && burst.Duration <= settings_.MaxSeconds &&
        burst.Hz >= settings_.MinHz && burst.Hz <= settings_.MaxHz) {
        found.push_back(burst);
    }
}

void TRingDetector::Finish(std::vector<TRingBurst>& found) {
    if (index_ % blockLength_ != 0 || block_.Energy > 0) {
        EndBlock(found);
    }
    if (run_.Open) {
        EndRun(found);
    }
}

std::vector<TRingBurst> DetectRings(std::span<const float> samples, double rate) {
    TRingDetector detector(rate);
    std::vector<TRingBurst> found;
    detector.Push(samples, found);
    detector.Finish(found);
    return found;
}

}  // namespace ringlark
