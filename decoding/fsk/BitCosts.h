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
    // Where it was read on the discriminator (the end of its window).
    double At = 0;
    // Read across a break in the signal (see BrokenBits): whatever its
    // decision looks like, it is worth hardly more than a guess.
    bool Broken = false;
};

// One cost per data bit (eight per frame, least significant first), in
// log-likelihood; `leakage` is the share of a tone's amplitude that reaches
// the other tone's correlator over one bit.
std::vector<float> DataBitCosts(const std::vector<TBitTones>& tones, double leakage);

// One cost per data bit from how its decision fits the message's own bit
// shapes (each pattern of three bits' typical decision) rather than a model of
// the tones.
// `odd`, when given, gets for each data bit whether its decision lies far from
// the centres of both readings (a bit that fits neither).
std::vector<float> ShapeCosts(const std::vector<TBitTones>& tones,
                              std::vector<bool>* odd = nullptr);

// The middle value of v (0 when empty).
double Median(std::vector<double> v);

// log I0(x), the modified Bessel function of order 0, for x >= 0.
double LogBesselI0(double x);

}  // namespace ringlark
