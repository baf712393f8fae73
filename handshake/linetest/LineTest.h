#pragma once

// The Line Test window's logic: one role of the call-waiting exchange (the
// exchange, or the telephone set) run against a sound path, each run's steps
// reported as rows and the runs summarised. The sound path is a service: the
// sound card (input and output at once), or a simulated peer that plays the
// other role in the same process.
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "handshake/HandshakeReport.h"
#include "handshake/SimulatedLine.h"
#include "handshake/linetest/DuplexSound.h"

namespace ringlark {

enum class TLineRole { Exchange, Set };

struct TLineTestSettings {
    TLineRole Role = TLineRole::Exchange;
    TCidStandard Standard = TCidStandard::Bell202;
    // The set's answer (the set's role, or the simulated set).
    char AckDigit = 'D';
    bool Answer = true;
    double AckDelayMs = 50;
    bool WaitForAck = true;
    int Repeats = 1;
    double PauseMs = 1000;
    Bytes Message;  // what the exchange sends
};

// The other role in the same process behind a simulated line: the exchange
// against a simulated set, the set against a simulated exchange.
class TSimulatedPeer : public IDuplexSound {
  public:
    TSimulatedPeer(double rate, const TLineTestSettings& settings, TSimulatedLine line = {});
    double Rate() const override { return rate_; }
    int64_t LatencySamples() const override { return RoundTripSamples(line_, rate_); }
    void Run(const TStep& step, const std::atomic<bool>* stop) override;

  private:
    double rate_;
    TLineTestSettings settings_;
    TSimulatedLine line_;
};

class TLineTest {
  public:
    // Each run as it is judged: its number, whose view ("exchange", "set")
    // and its rows. Called on the thread that runs the test.
    std::function<void(int run, const std::vector<TStepRow>& rows)> OnRun;
    // The sound path's round trip when a calibration measured it (else the
    // path's own figure).
    std::optional<int64_t> LatencyOverride;

    // Runs the role until its runs are over (the exchange), the sound path
    // ends, or `stop`; returns the summary line. Throws RinglarkError for
    // settings out of range.
    std::string Run(const TLineTestSettings& settings, IDuplexSound& sound,
                    const std::atomic<bool>& stop);

    // Plays a click and hears it back (a loop-back cable on the sound path):
    // the round trip in samples, or nothing when it did not come back.
    static std::optional<int64_t> Calibrate(IDuplexSound& sound, const std::atomic<bool>& stop);
};

// The set's figures from the settings: the standard's, with its answer.
TCallWaitingTiming LineTestTiming(const TLineTestSettings& settings);

}  // namespace ringlark
