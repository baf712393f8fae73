#pragma once

// Bits read across a break in the signal. A sound card that plays a stretch
// of samples again or loses some puts a jump of the tone's phase, and often a
// piece of a neighbouring bit, inside the one-bit correlation windows. A bit
// read there can come out the wrong way with a clear decision, and two such
// bits can keep the checksum; so their decisions are not to be trusted,
// however clear they look, and neither is the rest of a message that holds
// one as much as a clean one.
#include <vector>

#include "decoding/fsk/BitCosts.h"
#include "decoding/tones/ToneDiscriminator.h"

namespace ringlark {

// Marks (TBitTones::Broken) both bits of each pair of neighbours between
// whose centres the tones do not follow a clean phase-continuous signal: the
// tone of two equal bits dips or the other tone appears between them, the
// tone of the first of two different bits comes back or that of the second
// fades, or their transition lies away from the middle. Each departure is
// measured against what the noise of the reading allows. `centres` holds
// where each bit of `tones` was read, in working samples; `bit` is the bit
// length.
void MarkBrokenBits(const TDiscriminator& s, const std::vector<double>& centres, double bit,
                    std::vector<TBitTones>& tones);

// What reading a broken bit the other way costs at most, in log-likelihood:
// hardly more than a guess.
inline constexpr double BrokenBitCost = 0.5;
// What any other bit costs at most in a message with two breaks or more (runs
// of broken bits apart): a capture that broke twice may have broken where it
// could not be seen, so one broken bit and one such bit that make another
// message are a contender (see MessageJudge). A single break does not lower
// the rest: noise alone now and then marks a pair of bits, and a clean
// message must not be withheld for that.
inline constexpr double CostNearBreak = 8.0;

// The last step of the costs (eight per frame, as DataBitCosts gives them):
// those caps.
void CapBrokenBitCosts(const std::vector<TBitTones>& tones, std::vector<float>& costs);

}  // namespace ringlark
