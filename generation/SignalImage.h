#pragma once

#include <cstdint>

#include "core/Bytes.h"
#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"

namespace ringlark {

// The channel seizure: 30 bytes 0x55, 300 alternating bits starting with a space.
inline constexpr int SeizureBytes = 30;
inline constexpr uint8_t SeizureByte = 0x55;

// Appends the preamble of the signalling and the message as FSK to a new stream
// and completes it as a WAV image.
Bytes SynthesiseImage(TFskSynth& synth, const Bytes& message, TSignalling signalling);

}  // namespace ringlark
