#pragma once

// The figures of the call-waiting (off-hook) exchange between a telephone
// exchange and a set in use: alert tones, the set's DTMF acknowledgement and
// the data that follows it. Every figure is a setting; the defaults are the
// standards' figures (Bellcore/TIA as the MT88E45 datasheets quote them; BT
// loop state; ETSI where a figure was found, the Bellcore one otherwise).
#include <cstdint>
#include <optional>
#include <string>

#include "protocol/Standards.h"

namespace ringlark {

struct TCallWaitingTiming {
    TCidStandard Standard = TCidStandard::Bell202;

    // What the exchange sends.
    double SasMs = 300;  // the 440 Hz call-waiting beep before the CAS; 0: none
    double SasToCasMs = 0;
    double CasMs = 80;         // 2130 + 2750 Hz
    double DataDelayMs = 100;  // from the end of a valid ACK to the first mark bit
    int MarkBits = 80;         // the mark run before the first byte (no seizure off-hook)
    double ToneDbfs = -12;     // each alert tone's level (a full-scale sine is 0 dBFS)
    double FskDbfs = -10;

    // What the set sends.
    char AckDigit = 'D';     // D: a set without ADSI; A: an ADSI set
    double AckDelayMs = 50;  // from the end of the CAS to the start of the ACK
    double AckMs = 60;
    double AckDbfs = -12;  // each DTMF tone

    // The windows the exchange and the set check against.
    double CasMinMs = 75, CasMaxMs = 85;
    double CasTolerance = 0.005;  // relative, each tone
    double AckWindowMs = 100;     // CAS end -> ACK start, at most
    double AckMinMs = 55, AckMaxMs = 65;
    double DataMinMs = 0, DataMaxMs = 500;  // ACK end -> first mark bit
    double MarkMinMs = 58, MarkMaxMs = 75;
};

// The defaults of a standard: bell (Bellcore GR-30 / TIA-777), etsi (EN 300
// 659-2: 80 +- 25 mark bits; no ACK window was found, so the Bellcore ones),
// bt (SIN 242 loop state: alert 80-85 ms, ACK 65-75 ms, data 5-100 ms after
// it, mark run 45-75 ms; no SAS). DTMF caller ID has no off-hook form:
// nothing.
std::optional<TCallWaitingTiming> CallWaitingTimingFor(TCidStandard standard);

// Every figure in range (durations above 0 where a signal needs one, minimum
// not above maximum, levels at most 0 dBFS, the digit one of A-D): throws
// RinglarkError naming the first that is not.
void CheckCallWaitingTiming(const TCallWaitingTiming& timing);

// Milliseconds as a whole number of samples at a rate, and back.
int64_t MsToSamples(double ms, double rate);
double SamplesToMs(double samples, double rate);

}  // namespace ringlark
