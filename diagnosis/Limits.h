#pragma once

// What a receiver of each standard must accept (the notes' figures, with
// their sources): the levels, twist and noise it must read through, the mark
// run it may need, and the timing around the rings.
#include <string>

#include "protocol/Standards.h"

namespace ringlark {

struct TReceiverLimits {
    double MinDbm = -36.2, MaxDbm = -4.2;  // the weaker and the stronger tone
    std::string LevelSource;
    double MinTwist = -6, MaxTwist = 10;  // mark minus space, dB
    std::string TwistSource;
    double MinSnrDb = 25;
    std::string SnrSource;
    // The mark run before the first byte, with and without a channel seizure.
    int MinMarkBits(bool seizure) const { return seizure ? (Bt ? 55 : 155) : 55; }
    int MaxMarkBits(bool seizure) const { return seizure ? (Bt ? 90 : 205) : 105; }
    std::string MarkSource(bool seizure) const {
        return seizure ? (Bt ? "SIN 227: 55-90 bits" : "180 +-25 bits (spandsp, EN 300 659-1)")
                       : "off-hook: 80 +-25 bits";
    }
    bool Bt = false;
};

// offHook: the form sent to a set in use (no channel seizure).
TReceiverLimits ReceiverLimits(TCidStandard standard, bool offHook);

// The timing around the rings.
inline constexpr double kBellAfterRingMs = 500;  // end of the first ring to the data, at least
inline constexpr double kEtsiAfterRingMaxMs = 2000;
inline constexpr double kBeforeNextRingMs = 200;  // end of the data to the next ring, at least
inline constexpr const char* kRingTimingSource =
    "GR-30 via HP Journal (>= 500 ms, >= 200 ms); EN 300 659-1 via Dialogic (T5 500-2000 ms, "
    "T6/T2 >= 200 ms); SIN 227 (>= 200 ms)";
inline constexpr const char* kAlertGapSource = "EN 300 659-1 T4: 45-500 ms; SIN 227: >= 45 ms";

}  // namespace ringlark
