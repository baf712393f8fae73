#pragma once

// What reading each data bit of a message the other way costs, from the
// correlations of both tones where it was read.
#include <vector>

namespace ringlark {

// A character: start bit, eight data bits, stop bit.
inline constexpr int BitsPerFrame = 10;

// The amplitudes of both tones' correlations where one bit was read.
struct TBitTones {
    double Mark;
    double Space;
    bool ReadAsMark;
    double Margin;  // |decision - slicer level|
    // Read across a break in the signal (see BrokenBits): whatever its
    // decision looks like, it is worth hardly more than a guess.
    bool Broken = false;
};

// One cost per data bit (eight per frame, least significant first), in
// log-likelihood (capped where a bit is broken: see BrokenBits); `leakage` is the share of a tone's
// amplitude that reaches the other tone's correlator over one bit.
std::vector<float> DataBitCosts(const std::vector<TBitTones>& tones, double leakage);

}  // namespace ringlark
