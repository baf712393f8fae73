#pragma once

// One sound device open for input and output at once (PortAudio, blocking),
// driving a role block by block: each block heard is answered at once with a
// block to play, so the role's clock is the device's own.
#include <string>

#include "handshake/linetest/DuplexSound.h"

namespace ringlark {

class TDuplexDevice : public IDuplexSound {
  public:
    // The default device (""), an index, or a name (exact, or the only one
    // containing it) with both inputs and outputs; the rate is the device's
    // default when 0. Throws RinglarkError with PortAudio's reason when it
    // cannot be found or opened.
    TDuplexDevice(const std::string& device, double rate);
    ~TDuplexDevice() override;
    TDuplexDevice(const TDuplexDevice&) = delete;
    TDuplexDevice& operator=(const TDuplexDevice&) = delete;

    double Rate() const override { return rate_; }
    // The round trip a calibration measured (or the user gave).
    int64_t LatencySamples() const override { return latency_; }
    void SetLatencySamples(int64_t samples) { latency_ = samples; }
    const std::string& Name() const { return name_; }

    // Starts the device, runs the step over blocks of 10 ms until it returns
    // false or `stop` becomes true, and stops the device once what was played
    // has been heard. Every run starts with the same two blocks of quiet
    // queued for output, so the round trip is the same from run to run (a
    // calibration run measures it for the runs after it).
    void Run(const TStep& step, const std::atomic<bool>* stop = nullptr) override;
    // Blocks lost because the step was too slow, over every run so far.
    int Overflows() const { return overflows_; }

  private:
    [[maybe_unused]] void* stream_ = nullptr;  // a PaStream (unused in a build without sound)
    double rate_ = 0;
    std::string name_;
    int overflows_ = 0;
    int64_t latency_ = 0;
};

}  // namespace ringlark
