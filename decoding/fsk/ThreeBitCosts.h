#pragma once

// The costs of each data bit from the signal over it and its two neighbours,
// read with the tones' phase carried from bit to bit.
#include <vector>

#include "decoding/fsk/BitCosts.h"
#include "decoding/tones/ToneDiscriminator.h"

namespace ringlark {

// Bell 202 and V.23 are continuous-phase FSK: each bit's tone starts at the
// phase where the last one ended. One bit's correlations leave that out; over
// three bits the eight patterns of tones each make one known waveform up to a
// common phase, and the waveform sent correlates with the signal over all
// three bits at once. Each data bit's log-likelihood ratio sums, over the
// patterns of its neighbours, the likelihood of the waveforms with the bit a
// mark against those with it a space (the phase unknown: log I0 of the
// correlation over the noise, less the waveform's energy). Signed: positive
// where the reading is the likelier. Empty when the discriminator keeps no
// working samples.
//
// `overMessage`: each data bit is read over the whole message at once
// instead, the phase carried from every bit to the next (a forward and
// backward pass over the tones and the carrier's phase: WholeMessageReading).
// That is worth doing where a reading's framing holds: noise seldom frames
// every byte, and a reading that does not frame is refused whatever its bits
// cost.
struct TThreeBitCosts {
    std::vector<float> Costs;  // one per data bit, signed
    // How well the phase carries across a change of tone, against across a
    // steady tone: for pairs of neighbouring bits, how well the phase of the
    // second bit's correlation follows from the first's (the mean cosine of
    // their difference, weighted by their magnitudes), for pairs that change
    // tone over pairs that do not. Near 1 for continuous-phase FSK at any
    // noise and twist, near 0 where the phase jumps at each change (two
    // oscillators switched).
    double Coherence = 0;
    // Per bit read (as `tones`): the phase jumps between it and a neighbour
    // by more than the noise and the message's own drift allow (a sound
    // card's buffer slip or lost samples do that).
    // (Those the whole-message reading finds are among them.)
    std::vector<bool> PhaseBreak;
    // Per bit read, where the message is read over the whole of it: the
    // reading finds the phase plainly started anew next to it, or the bit
    // lost (kFirmBreakOdds in WholeMessageReading.cpp). Empty otherwise.
    std::vector<bool> FirmBreak;
    // How far the changes of tone stray from where the bit clock puts them,
    // as the phase it moves them by (radians): the median over the message's
    // changes of what they show beyond the noise (MarkPhaseBreaks).
    double EdgeStray = 0;
};
// `erased`: stretches of working samples left out of every bit's reading
// (FindRepeats).
TThreeBitCosts ThreeBitCosts(const TDiscriminator& s, const std::vector<TBitTones>& tones,
                             bool overMessage = false, const std::vector<TSampleSpan>& erased = {});

}  // namespace ringlark
