#pragma once

// The sound path of the call-waiting exchange as a service: the sound card
// (input and output at once) in the program, a simulated peer in tests.
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

namespace ringlark {

// A sound path driven block by block: each block heard is answered with a
// block to play, until the step returns false or `stop` becomes true.
class IDuplexSound {
  public:
    using TStep = std::function<bool(std::span<const float> in, std::span<float> out)>;
    virtual ~IDuplexSound() = default;
    virtual double Rate() const = 0;
    // Samples from a block played to its echo heard (the calibrated round
    // trip; 0 when not known).
    virtual int64_t LatencySamples() const { return 0; }
    virtual void Run(const TStep& step, const std::atomic<bool>* stop) = 0;
};

}  // namespace ringlark
