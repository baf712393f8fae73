#pragma once

// How good a caller-ID signal was: the tones, bit rate, levels, preamble and
// noise of each FSK message, measured from the samples.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decoding/fsk/CorrelationDecoder.h"
#include "decoding/tones/AlertTones.h"
#include "decoding/tones/ToneDiscriminator.h"

namespace ringlark {

struct TFskMeasures {
    // Each tone's frequency (Hz) and the bit rate (bit/s) over the channel
    // seizure, the mark run and the message; 0 where the part is absent.
    double SeizureMarkHz = 0, SeizureSpaceHz = 0, SeizureBitRate = 0;
    double MarkRunHz = 0;
    double MarkHz = 0, SpaceHz = 0, BitRate = 0;
    // Each tone's level over the message (dBFS: a full-scale sine is 0) and the
    // twist, mark minus space (dB).
    double MarkDbfs = 0, SpaceDbfs = 0, TwistDb = 0;
    // Signal over noise in 300-3400 Hz, from the quiet before or after the
    // burst; nothing when there is no quiet to measure.
    std::optional<double> SnrDb;
    int SeizureBits = 0;         // alternating bits before the mark run
    int MarkBits = 0;            // marks before the first start bit
    double Seconds = 0;          // the first start bit
    double DurationSeconds = 0;  // from the first start bit to the end of the last stop bit
    // The spread (RMS) of the bit edges in the message around the bit clock
    // fitted to them, in % of a bit.
    double JitterPercent = 0;
    // The alert tone that came before the data, if any, and the quiet from its
    // end to the first sound of the data.
    std::optional<TAlertTone> Alert;
    double AlertGapSeconds = 0;
    // The 440 Hz subscriber alert (the call-waiting beep) in the 1.5 s before
    // the data, if any.
    std::optional<TAlertTone> Subscriber;
};

// The levels (not the twist) as they were before the samples were multiplied
// by gain: a recording scaled to fill 8 bits is measured on its own scale.
void UndoGain(TFskMeasures& m, double gain);

// Measures a message the correlation decoder found in these samples.
TFskMeasures MeasureFsk(std::span<const float> samples, double rate, const TCorrMessage& message,
                        const TFskTones& tones);

// One row of a compliance check: a measured value beside its limit.
struct TLimitRow {
    std::string Name;     // "Mark frequency"
    std::string Value;    // "1201.3 Hz"
    std::string Limit;    // "1188 to 1212 Hz", or "" when not checked
    std::string Verdict;  // "PASS", "FAIL", "not checked"
    std::string Source;   // where the limit comes from
};

// The limits of the message's own system: "bell" for Bell 202; for V.23,
// "bt" when the message came in BT's on-hook form (a channel seizure and a
// mark run of BT's 55-90 bits, where ETSI sends 180) and "etsi" otherwise.
std::string OwnLimits(const TCorrMessage& message, const TFskMeasures& m);

// The rows for a standard's limits ("bell", "etsi", "bt"). dbmAtFullScale
// converts the levels to dBm when given.
std::vector<TLimitRow> CheckLimits(const TFskMeasures& m, const std::string& standard,
                                   std::optional<double> dbmAtFullScale);

}  // namespace ringlark
