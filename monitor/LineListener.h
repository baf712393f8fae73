#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "core/Services.h"
#include "decoding/StreamDecoder.h"
#include "monitor/WavRecorder.h"

namespace ringlark {

// Listens to a line: reads an input block by block (20 ms), keeps it in a
// recording if there is one, decodes it as a stream and reports each event and
// the level of each block. Runs on whatever thread calls Run; nothing else
// touches it meanwhile except the stop flag.
class TLineListener {
  public:
    // With includeFailed, messages read whole but refused are reported too
    // (marked Failed), so that a log shows the line sent something.
    TLineListener(ISoundInput& input, TWavRecorder* recorder, bool includeFailed = false);

    std::function<void(const TStreamEvent&)> OnEvent;
    // Each block read, before it is decoded (for those that keep what came).
    std::function<void(std::span<const float>)> OnSamples;
    // The peak of the last block (dBFS, -120 for silence) and the seconds heard.
    std::function<void(double peakDbfs, double seconds)> OnLevel;
    // When set, a recording that fails (a full disk) is reported here once, with
    // the reason, and the listening goes on without it; when not, the failure
    // ends Run (thrown).
    std::function<void(const std::string& reason)> OnRecordingFailed;
    // The input lost samples before the block that ends at `seconds` (the
    // device's buffer overflowed); `times` counts every loss so far.
    std::function<void(int times, double seconds)> OnInputLost;

    // Until the input ends, stop becomes true, or maxSeconds of input have
    // come (0: no limit). The end of the stream completes what it can.
    void Run(const std::atomic<bool>& stop, double maxSeconds = 0);

    // Messages reported that passed every rule and were not uncertain.
    int Messages() const { return messages_; }
    // Times the input lost samples while it was listened to.
    int InputLost() const { return lost_; }
    double Seconds() const;

  private:
    ISoundInput& input_;
    TWavRecorder* recorder_;
    TStreamDecoder decoder_;
    int messages_ = 0;
    int lost_ = 0;
};

}  // namespace ringlark
