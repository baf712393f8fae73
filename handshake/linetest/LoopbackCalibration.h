#pragma once

// The round trip of a sound path (output, a loop-back cable or the card's own
// loop, input), measured as a role driven by samples: it plays a short click
// and finds it again in what it hears. The latency found is what the roles
// take out of their times.
#include <cstdint>
#include <optional>
#include <span>

namespace ringlark {

class TLoopbackCalibration {
  public:
    // Listens for up to `listenMs` for the click's return.
    explicit TLoopbackCalibration(double rate, double listenMs = 1000);

    void Process(std::span<const float> in, std::span<float> out);
    // The click came back, or the time to listen is over.
    bool Done() const { return found_.has_value() || now_ >= listenUntil_; }
    // Samples from the click's start leaving to its start returning; nothing
    // when it did not come back.
    std::optional<int64_t> RoundTrip() const { return found_; }

  private:
    int64_t now_ = 0;
    int64_t clickLength_;
    int64_t listenUntil_;
    std::optional<int64_t> found_;
};

}  // namespace ringlark
