#include "handshake/linetest/LoopbackCalibration.h"

#include <algorithm>
#include <cmath>

#include "handshake/CallWaitingTiming.h"

namespace ringlark {

namespace {

// The click: one square period of 1 kHz at half of full scale, which passes
// a telephone band filter and a sound card's coupling capacitors alike.
constexpr double kClickHz = 1000;
constexpr double kClickPeak = 0.5;
// The click counts as back at the first sample louder than this share of it
// (a loop-back cable returns it at nearly its own level).
constexpr double kHeardShare = 0.1;

}  // namespace

TLoopbackCalibration::TLoopbackCalibration(double rate, double listenMs)
    : clickLength_(std::max<int64_t>(2, MsToSamples(1000 / kClickHz, rate))),
      listenUntil_(MsToSamples(listenMs, rate)) {}

void TLoopbackCalibration::Process(std::span<const float> in, std::span<float> out) {
    const std::size_t n = std::min(in.size(), out.size());
    for (std::size_t i = 0; i < n; ++i, ++now_) {
        // a square period: its very first sample is already loud at any rate
        out[i] = now_ < clickLength_ / 2 ? static_cast<float>(kClickPeak)
                 : now_ < clickLength_   ? static_cast<float>(-kClickPeak)
                                         : 0.0f;
        if (found_ || now_ >= listenUntil_) {
            continue;
        }
        if (std::fabs(in[i]) >= kHeardShare * kClickPeak) {
            found_ = now_;
        }
    }
}

}  // namespace ringlark
