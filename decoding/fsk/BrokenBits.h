#pragma once

// Bits read across a break in the signal. A sound card that plays a stretch
// of samples again or loses some puts a jump of the tone's phase, and often a
// piece of a neighbouring bit, inside the one-bit correlation windows. A bit
// read there can come out the wrong way with a clear decision, and two such
// bits can keep the checksum; so their decisions are not to be trusted,
// however clear they look, and neither is the rest of a message that broke
// as much as a clean one. The breaks are found where the phase jumps between
// two bits (ThreeBitCosts) and marked in TBitTones::Broken.
#include <vector>

#include "decoding/fsk/BitCosts.h"

namespace ringlark {

// What reading a broken bit the other way costs at most, in log-likelihood:
// hardly more than a guess.
inline constexpr double BrokenBitCost = 0.5;
// What any other bit costs at most in a message with a break: a capture that
// broke once may have broken where it could not be seen (a glitch inside a
// steady tone whose phase happens to come back, or one the noise hides), so
// one broken bit and one such bit that make another message are a contender
// (see MessageJudge). Noise alone seldom marks a break now that the breaks
// are looked for between the bits as the three bits read them: over 200
// clean messages per point at the edge of decoding (plain, twisted, clock
// off, capture-like), capping after a single break withheld none more than
// capping after two. (Over 21 glitched captures that the judge had passed
// with a wrong message, 12 are now withheld.)
inline constexpr double CostNearBreak = 8.0;

// Samples a capture lost inside a message leave no repeat to find and often
// no jump of the phase (a steady tone goes on at another phase), but every
// later change of tone comes early by what was lost, for good, where a loose
// transmitter's changes stray about its clock and come back. A change of
// tone: the bit it leads into (its index among the reading's bits), where the
// decision crossed less where the reading's clock put it (in bits), its kind
// (ToneChangeKind), and the stretch between idle marks it lies in (the clock
// starts anew after idle marks).
struct TToneChange {
    std::size_t Bit;
    double Offset;
    int Kind;
    int Stretch;
};

// Where the decision crosses at a change depends on the change: a twist
// moves upward and downward changes apart, and a lone bit of the weaker tone
// hardly reaches its level before the next change (a quarter of a bit and
// more at 8000/s through a telephone band). Each kind has its own shift:
// which way, and whether the bit before and the bit after stand alone.
inline constexpr int ToneChangeKinds = 8;
constexpr int ToneChangeKind(bool up, bool loneBefore, bool loneAfter) {
    return (up ? 1 : 0) + (loneBefore ? 2 : 0) + (loneAfter ? 4 : 0);
}

// The step found in the changes' offsets: `First` indexes the first change
// of the later, earlier-coming part (-1: none), `Step` is how much earlier,
// in bits, and `Score` how many of its standard errors that is.
struct TTimingStep {
    int First = -1;
    double Step = 0;
    double Score = 0;
};

// The largest step to earlier changes within a stretch, after a line (the
// clock) and a shift for each kind of change are taken out of all offsets.
// Offsets count up to 2.5 robust standard deviations from the line, so that a
// crossing noise moved far does not make a step; steps to later changes (a
// stretch played again, a pause shorter than a bit) are taken out first; six
// changes must lie before a step and eight after it.
TTimingStep FindTimingStep(const std::vector<TToneChange>& changes);

// Where samples were lost for certain: a step of at least LostSamplesMinStep
// bits at LostSamplesMinScore standard errors and more. Over 10,000 clean
// messages at the edge of decoding (20 conditions: plain, twisted, clock off,
// capture-like, call waiting, switched oscillators, 44100/s and 8000/s) the
// readings that passed scored 6.7 at most but one, 9.4 (call waiting at
// 8000/s with the clock 1 % off, at 6 dB); half the recordings with samples
// lost score above 10 to 16, the one that gave a wrong message 15.4.
inline constexpr double LostSamplesMinStep = 0.2;
inline constexpr double LostSamplesMinScore = 10.0;

// Marks the bits around a step in `tones` broken: from the bit before the
// last change on time to the first change that came early, where the samples
// were lost. True when it marked any.
bool MarkLostSamples(const std::vector<TToneChange>& changes, std::vector<TBitTones>& tones);

// The last step of the costs (eight per frame, as DataBitCosts gives them):
// those caps.
void CapBrokenBitCosts(const std::vector<TBitTones>& tones, std::vector<float>& costs);

}  // namespace ringlark
