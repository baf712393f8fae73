#pragma once

// The telephone set's side of the call-waiting exchange, driven by samples:
// it listens for the alert tones; on a valid CAS it answers with the DTMF
// acknowledgement after its delay (or not at all), then times and decodes the
// data that follows. A tester sets the delay, length or digit outside the
// rules to see whether an exchange refuses the answer.
//
// Clock and latency as for TExchangeRole: sample k in and sample k out are
// the same instant, and LatencySamples (the sound path's round trip) is taken
// out of the times measured and the replies scheduled.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "decoding/StreamDecoder.h"
#include "decoding/tones/AlertTones.h"
#include "handshake/CallWaitingTiming.h"
#include "handshake/HandshakeRuns.h"
#include "handshake/LineSignals.h"

namespace ringlark {

class TSetRole {
  public:
    struct TSettings {
        TCallWaitingTiming Timing;  // AckDigit, AckDelayMs, AckMs: what it sends
        bool Answer = true;         // false: it never acknowledges
        int64_t LatencySamples = 0;
        // How long after the mark run begins a message is waited for.
        double MessageWaitMs = 2000;
    };

    // Throws RinglarkError for settings out of range, or a rate the decoder
    // does not take.
    TSetRole(double rate, TSettings settings);

    void Process(std::span<const float> in, std::span<float> out);
    // The input has ended: a run waiting for its data is reported as it stands.
    void Finish();
    int64_t Now() const { return now_; }

    std::function<void(const TSetRun&)> OnRun;  // each CAS heard, once its data is judged
    const std::vector<TSetRun>& Runs() const { return runs_; }

  private:
    void Step(float in);
    void Heard(const TAlertTone& tone);
    // The tones, mark runs and messages the detectors reported, in that order;
    // a subscriber alert is kept for the next CAS only while the stream goes on.
    void TakeHeard(bool keepSubscriberAlert);
    void MarkRun(const TAlertTone& mark);
    void Message(const TCorrMessage& message);
    void EndRun();
    int64_t Sample(double seconds) const;

    double rate_;
    TSettings settings_;
    TFskTones fsk_;
    TAlertToneDetector cas_, sas_, mark_;
    TStreamDecoder decoder_;
    TOutputTrack track_;
    std::vector<TAlertTone> tones_, marks_;
    std::vector<TStreamEvent> events_;
    std::vector<float> pending_;  // input not yet given to the decoder
    int64_t now_ = 0;
    std::optional<TAlertTone> lastSas_;
    // the run waiting for its data
    bool open_ = false;
    TSetRun run_;
    int64_t watchFrom_ = 0;   // the data may begin from here (the ACK's end, else the CAS's)
    int64_t dataUntil_ = 0;   // no mark run by then: no data
    int64_t markStart_ = -1;  // the data's first mark bit
    int64_t messageUntil_ = 0;
    std::vector<TSetRun> runs_;
};

}  // namespace ringlark
