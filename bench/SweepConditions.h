#pragma once

// The conditions of the decode sweep's integrity run, and the recording each
// makes of a message: what impairs the signal, apart from how the decoder's
// results are counted (DecodeSweep.cpp).
#include <vector>

#include "core/Bytes.h"
#include "tests/support/TestSignals.h"

namespace ringlark {

struct TIntegrityCondition {
    const char* Name;
    TFskSignal Signal;
    float Clip = 0;       // clipping level relative to the amplitude, 0: none
    bool Band = false;    // through a telephone channel
    double HumDb = -99;   // hum level relative to the signal
    bool Alerts = false;  // SAS, CAS and quiet before the data (call waiting)
    bool Speech = false;  // a conversation up to the alert and right after the data
    // Harmonic distortion: the 2nd and 3rd harmonics' share of the mark's amplitude.
    double Second = 0;
    double Third = 0;
    // Capture glitches inside the message's bits: sound-card buffer slips
    // (a stretch played again from up to a bit earlier) or dropped samples.
    int Glitches = 0;
    bool Drops = false;
    bool V23 = false;  // V.23 tones, read by the V.23 decoder
};

// Every condition, in the order of the table.
std::vector<TIntegrityCondition> IntegrityConditions();

// The transmitter's signal for a message under a condition (its phase and
// bit jitter drawn from the seed).
TFskSignal SweepSignal(const TIntegrityCondition& condition, int seed);

// The recording of a message under a condition at an SNR: distorted, after
// the alert tones and speech the condition puts around it, in white noise
// (100 ms of noise alone before and after), with hum and capture glitches.
std::vector<float> ImpairedSignal(const TIntegrityCondition& condition, const Bytes& message,
                                  double snr, int seed);

}  // namespace ringlark
