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
    // Idle marks follow this bit before the next bit read (a stop bit).
    bool IdleAfter = false;
};

// One cost per data bit (eight per frame, least significant first), in
// log-likelihood; `leakage` is the share of a tone's amplitude that reaches
// the other tone's correlator over one bit.
std::vector<float> DataBitCosts(const std::vector<TBitTones>& tones, double leakage);

// One cost per data bit from how its decision fits the message's own bit
// shapes (each pattern of three bits' typical decision) rather than a model of
// the tones.
std::vector<float> ShapeCosts(const std::vector<TBitTones>& tones);

}  // namespace ringlark
