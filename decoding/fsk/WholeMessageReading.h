#pragma once

// Reading a message of continuous-phase FSK over the whole of it at once.
#include <array>
#include <vector>

#include "decoding/fsk/PhaseCorrelation.h"

namespace ringlark {

struct TWholeMessageReading {
    std::vector<double> Llr;
    // Per bit: the capture plainly broke next to it (kFirmBreakOdds in
    // WholeMessageReading.cpp).
    std::vector<bool> FirmBreak;
};

// Every data bit's log-likelihood ratio over the whole message: a forward and
// a backward pass over each bit's tone and the carrier's phase at its start.
// A bit may also be lost (kLogLostBit): it holds neither tone and the phase
// after it starts anew. `c`: each bit's correlations; `amplitude`: each
// tone's, per sample; `sigma2`: the noise's power per working sample; `w`:
// the correlation window's length.
TWholeMessageReading ReadWholeMessage(const std::vector<TBitCorrelation>& c,
                                      const std::vector<TBitTones>& tones,
                                      const std::array<double, 2>& amplitude, double sigma2,
                                      double w, const TBitSpacing& spacing);

}  // namespace ringlark
