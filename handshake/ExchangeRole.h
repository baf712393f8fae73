#pragma once

// The exchange's side of the call-waiting exchange, driven by samples: it
// alerts the set in use (SAS, CAS), listens for the set's DTMF
// acknowledgement and, when a valid one comes inside the window, sends the
// data after its delay; otherwise nothing more. Repeated as asked, with a
// pause between runs.
//
// Input sample k and output sample k are the same instant of the role's
// clock. Everything is timed in samples of that clock, so a run over a
// recording, a pipe or a simulated line gives the same figures every time;
// the round trip of the sound path (LatencySamples, measured by a loop-back
// calibration) is taken out of every time measured and of every reply
// scheduled, so the figures are those of the line itself.
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/Bytes.h"
#include "decoding/tones/DtmfDecoder.h"
#include "handshake/CallWaitingTiming.h"
#include "handshake/HandshakeRuns.h"
#include "handshake/LineSignals.h"

namespace ringlark {

class TExchangeRole {
  public:
    struct TSettings {
        TCallWaitingTiming Timing;
        Bytes Message;           // the call-waiting message (type, length, body, checksum)
        bool WaitForAck = true;  // false: the data goes out whether an ACK came or not
        int Repeats = 1;
        double PauseMs = 1000;  // between the end of one run and the next SAS/CAS
        double ListenMs = 500;  // after the CAS: how long an ACK is waited for
        int64_t LatencySamples = 0;
    };

    // Throws RinglarkError for settings out of range.
    TExchangeRole(double rate, TSettings settings);

    // The first run starts at the next sample processed.
    void Start();
    // n input samples in, n output samples out.
    void Process(std::span<const float> in, std::span<float> out);
    // Every run finished and its last signal played.
    bool Done() const { return state_ == TState::Done; }
    bool Started() const { return state_ != TState::Idle; }
    int64_t Now() const { return now_; }
    double Rate() const { return rate_; }

    std::function<void(const TExchangeRun&)> OnRun;  // each run, once it is over
    const std::vector<TExchangeRun>& Runs() const { return runs_; }

  private:
    enum class TState { Idle, Listening, Sending, Pausing, Done };
    void StartRun();
    void Step(float in);
    void Judge(const TDtmfDigit& digit);
    void SendData(int64_t at);
    void EndRun();
    // The digit's two tones measured over its middle.
    TAckHeard Measure(const TDtmfDigit& digit, double startSample) const;

    double rate_;
    TSettings settings_;
    TFskTones fsk_;
    TDtmfDetector detector_;
    TOutputTrack track_;
    std::vector<float> heard_;  // the input since the current run's CAS began
    int64_t heardFrom_ = 0;
    std::vector<TDtmfDigit> digits_;
    TState state_ = TState::Idle;
    int64_t now_ = 0;
    int64_t casStart_ = 0, casEnd_ = 0;
    int64_t listenUntil_ = 0;
    int64_t dataEnd_ = 0;
    int64_t nextRun_ = 0;
    bool judged_ = false;
    TExchangeRun run_;
    std::vector<TExchangeRun> runs_;
};

}  // namespace ringlark
