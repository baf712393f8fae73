#pragma once

// The timing behind the measurements: where the tone changes between mark and
// space, bit clocks fitted to edges, each byte's start and the channel
// seizure's bits.
#include <complex>
#include <span>
#include <utility>
#include <vector>

#include "core/Bytes.h"
#include "decoding/tones/ToneDiscriminator.h"

namespace ringlark {

// The correlation of x[from, to) with a tone, phase referred to sample 0.
std::complex<double> CorrelateSpan(std::span<const float> x, double rate, double hz, double from,
                                   double to);

// The tone at each sample of [from, to): +1 mark, -1 space, 0 silence.
std::vector<signed char> ToneSigns(std::span<const float> x, double rate, const TFskTones& tones,
                                   std::size_t from, std::size_t to);

// Where the signs change between mark and space, to half a sample.
std::vector<double> Transitions(const std::vector<signed char>& signs, std::size_t offset,
                                double bit);

// A bit clock: t = Start + n * Period.
struct TClock {
    double Period = 0;
    double Residual = 0;  // RMS
    double Start = 0;     // the fitted time of the first edge
    double Bits = 0;      // bits from the first edge to the last
};
// The clock through edges whose bit numbers are known (n in time order).
TClock FitClockAt(const std::vector<double>& edges, const std::vector<double>& n, double period);
// The clock through edges counted in bits from the one before.
TClock FitClock(const std::vector<double>& edges, double period);

// Each byte's start edge, placed by how well its whole decoded frame matches
// the tone signs; `first` is where the decoder put the first.
std::vector<double> PlaceByteStarts(const std::vector<signed char>& signs, std::size_t spanFrom,
                                    const std::vector<double>& changes,
                                    const std::vector<Bytes>& frames, double first, double bit);

// The spread of the start edges themselves around the clock, % of a bit:
// each edge where half a bit of mark before it and half a bit of space after
// it take the most energy.
double StartEdgeJitter(std::span<const float> x, double rate, const TFskTones& tones,
                       const std::vector<double>& starts, const TClock& clock);

// The channel seizure before the mark run starting at `markStart`: its clock
// (Start + Bits * Period is the edge into its last bit, a mark) and its bits
// (0 when there is none).
std::pair<TClock, int> FollowSeizure(std::span<const float> x, double rate, const TFskTones& tones,
                                     const std::vector<double>& leadChanges, double markStart,
                                     double messagePeriod);

}  // namespace ringlark
