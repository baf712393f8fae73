#pragma once

// What the readings of continuous-phase FSK over several bits share: each
// bit's correlations with both tones at their phase, how the bits read join,
// and the steps of the phase between neighbours (ThreeBitCosts and
// WholeMessageReading).
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

#include "decoding/fsk/BitCosts.h"
#include "decoding/tones/ToneDiscriminator.h"

namespace ringlark {

using TComplex = std::complex<double>;

// |z| without the care std::abs takes against overflow (std::hypot), which
// these magnitudes do not need and which costs several times as much.
inline double Magnitude(const TComplex& z) {
    return std::sqrt(std::norm(z));
}

inline double LogSumExp(double a, double b) {
    const double m = std::max(a, b);
    return m + std::log(std::exp(a - m) + std::exp(b - m));
}

// One bit's correlations with both tones, referred to the phase each tone
// would have at the start of the bit's window.
struct TBitCorrelation {
    std::array<TComplex, 2> Tone;  // [0] space, [1] mark
    // The working samples read: the window's, less those erased.
    double Samples = 0;
};

// `erased`: stretches of working samples that are not the line's (a slip of
// the capture: FindRepeats), left out.
TBitCorrelation Correlate(const TDiscriminator& s, double at,
                          const std::vector<TSampleSpan>& erased = {});

// How the bits read follow one another: per bit i, the phase each tone turns
// through from its start to the start of bit i + 1, and whether bit i + 1
// follows it straight on (not after idle marks between bytes; the last bit
// has no follower).
struct TBitSpacing {
    std::vector<std::array<double, 2>> Turns;  // [0] space, [1] mark
    std::vector<bool> Follows;
    double Turn(std::size_t i, int tone) const { return Turns[i][static_cast<std::size_t>(tone)]; }
    bool Joined(std::size_t i) const { return Follows[i]; }
};
TBitSpacing SpacingOf(const TDiscriminator& s, const std::vector<TBitTones>& tones);

// Each pair of neighbouring bits as `tones` reads them: the second bit's
// correlation against the phase the first one's predicts (in `step`, per pair
// starting at i; 0 where the bits are not joined), and the sum of their
// directions per kind of pair (2 * first + second tone).
std::array<TComplex, 4> PairSteps(const std::vector<TBitCorrelation>& c,
                                  const std::vector<TBitTones>& tones, const TBitSpacing& spacing,
                                  std::vector<TComplex>& step);

// The prior log-odds of a lost bit: one whose window holds neither tone, as
// where a sound card's buffer slip plays a stretch of samples from a third
// of a bit earlier over it (the space's phase then turns by half a turn
// there, and the two halves of the bit cancel). Such a bit has little energy
// in either tone, yet the phase carried from its neighbours reads it firmly
// one way; each bit's likelihood is therefore taken as a mixture with this
// share of "lost", which caps what a bit costs at about how much better its
// reading fits than a lost bit, plus 10. A bit read cleanly fits far better
// than a lost one, by its own energy over the noise (about 15 nats at 0 dB
// whole-band SNR at 44100/s), and keeps its cost.
// Measured: of 9 recordings with two slips each that gave a wrong message in
// 40,000 (slips and drops at 44100/s, slips at 8000/s), 4 are withheld at e^-10
// (5 at e^-8, 2 at e^-12); over 200 clean messages at each of 12 points (plain
// 44100/s at -1 to -3 dB and 8000/s at 4 and 6 dB, twist, capture-like, call
// waiting, clipped, switched oscillators) it withheld 13 more in 2400 at e^-10
// (34 at e^-8, 5 at e^-12) and gave no false message.
// Tried with the whole-message reading and not kept: a bit whose tone holds
// but whose phase jumps inside it (read in three parts, each with its own
// phase) as a third kind of bit, at e^-8. It withheld 6 of 7 recordings with
// slips that gave a wrong message, but the parts are too short to tell the
// tones apart: with 60 Hz hum 6 dB above the signal at -2 dB, 97.6 % -> 51.3 %
// exact, capture-like 8000/s at 6 dB 91.9 % -> 89.2 %.
// Tried again and not kept: each bit split in two after any of its samples,
// the second part's tone and phase free, against the same two parts with the
// phase carried across (give or take the message's drift and a step of the
// phases' grid) and the tone held or changed at the split (an edge out of
// place); the parts read less the signal's mean over two bits (hum) and with
// their phase-dependent energy, the likelihoods held to 10 dB a sample where
// they are sharper than the grid. No cost on 20 points without glitches, and
// it found the slip behind a wrong message at 4 dB; but a slip inside a bit
// at -1 dB and below shows by under 8 nats, and nearly every wrong message
// with slips lay there. Stretches played again are now found in the samples
// themselves (FindRepeats); with that, this reading (a quarter slower) found
// nothing more in 1500 slipped recordings.
constexpr double kLogLostBit = -10.0;

}  // namespace ringlark
