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

// The last step of the costs (eight per frame, as DataBitCosts gives them):
// those caps.
void CapBrokenBitCosts(const std::vector<TBitTones>& tones, std::vector<float>& costs);

}  // namespace ringlark
