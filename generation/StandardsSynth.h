#pragma once
// Signals of the V.23 (ETSI, BT) and DTMF standards as 8-bit mono 44100/s WAV
// images. Bell 202 is the synthesiser's own (FskSynth).

#include <string_view>

#include "core/Bytes.h"
#include "protocol/Standards.h"

namespace ringlark {

// An 8-bit mono 44100/s WAV image of a V.23 message: tones of the given peak
// amplitude (of 128), phase-continuous, bits at exactly 1200/s.
Bytes SynthesiseV23Image(const Bytes& message, const TV23Timing& timing, int amplitude);

// An 8-bit mono 44100/s WAV image of DTMF digits (0-9, A-D, *, #): each tone
// pair for toneSeconds then a gap, each tone at half the peak amplitude.
Bytes SynthesiseDtmfImage(std::string_view digits, int amplitude, double toneSeconds = 0.070,
                          double gapSeconds = 0.070);

}  // namespace ringlark
