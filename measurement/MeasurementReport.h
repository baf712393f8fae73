#pragma once

// The measurements of every message in the recording the analyst loaded, as
// the Signal Measurements window shows them.
#include <optional>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "decoding/tones/DtmfDecoder.h"
#include "measurement/Measurements.h"
#include "measurement/Sonogram.h"

namespace ringlark {

// How the image's levels relate to the signal: the gain its samples were
// multiplied by (a recording scaled to fill 8 bits), and the level in dBm of
// a full-scale sine when the levels are to be given in dBm too.
struct TMeasureScale {
    double Gain = 1;
    std::optional<double> DbmAtFullScale;
};

struct TMeasuredMessage {
    // "0.400 s  Bell 202  8005551212  JOHN DOE  80 20 01 ...": time, system,
    // number and name (when it carries them), bytes; DTMF: "0.200 s  DTMF
    // 4512345678  A4512345678C".
    std::string Title;
    std::string Limits;  // "bell", "etsi", "bt"; "" for DTMF
    TCorrMessage Message;
    std::optional<TDtmfMessage> Dtmf;  // DTMF caller ID instead of an FSK message
    TFskMeasures Measures;
    std::vector<TLimitRow> Rows;
    double Seconds() const { return Dtmf ? Dtmf->Seconds : Message.Seconds; }
};

// Bell 202, V.23 and DTMF messages of an 8-bit 44100/s image, in time order,
// each FSK message measured and checked against its own system's limits.
std::vector<TMeasuredMessage> MeasureRecording(const Bytes& image, const TMeasureScale& scale = {});

// The sonogram of a message's span, from its seizure (or mark run) to its
// last stop bit (DTMF: its first tone to its last), up to 4000 Hz.
TSonogram MessageSonogram(const Bytes& image, const TMeasuredMessage& message, int columns,
                          int bins);

}  // namespace ringlark
