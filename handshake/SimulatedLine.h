#pragma once

// Both roles of the call-waiting exchange joined in one process by a
// simulated line: each direction delays the signal by a whole number of
// samples and may add white noise from a fixed seed, so a run gives the same
// samples and figures on every machine.
#include <cstdint>
#include <optional>

#include "handshake/ExchangeRole.h"
#include "handshake/SetRole.h"

namespace ringlark {

struct TSimulatedLine {
    double DelayMs = 0;               // each way
    std::optional<double> NoiseDbfs;  // the noise's RMS level, each way; none: a quiet line
    uint32_t Seed = 1;
};

// The round trip the line adds, in samples: both delays and the one sample a
// reply needs (the set hears sample k of the exchange at k, and its answer
// reaches the exchange from the next sample on). Give it to both roles as
// their latency so that they report the line's own figures.
int64_t RoundTripSamples(const TSimulatedLine& line, double rate);

// Runs the exchange (started at once) against the set until the exchange has
// finished and the set has had `tailMs` more to report, or `maxSeconds` have
// passed; the set's input end completes its last run.
void RunSimulation(TExchangeRole& exchange, TSetRole& set, const TSimulatedLine& line,
                   double tailMs = 1500, double maxSeconds = 600);

// Gaussian noise from a small generator of its own (xorshift and Box-Muller),
// the same on every machine and library.
class TLineNoise {
  public:
    TLineNoise(uint32_t seed, double rmsDbfs);
    float Next();

  private:
    uint64_t state_;
    double rms_;
    double spare_ = 0;
    bool hasSpare_ = false;
};

}  // namespace ringlark
