#pragma once

// A caller-ID signal for receiver tests: any standard at any rate, with the
// impairments of TImpairments applied, as float samples (a full-scale sine
// peaks at 1) and as an 8- or 16-bit WAV file.
#include <cstdint>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "protocol/MessageFormat.h"
#include "protocol/Standards.h"
#include "testsignal/Impairments.h"

namespace ringlark {

struct TTestSignal {
    TCidStandard Standard = TCidStandard::Bell202;
    TSignalling Signalling = TSignalling::OnHook;
    bool Alert = false;  // etsi: the dual-tone alert first (bt always sends it)
    Bytes Message;       // FSK: the message bytes
    std::string Digits;  // DTMF: the digits with their framing ("A8005551212C")
    // The generator's level: its amplitude (of 128) as the FSK tones' peak;
    // DTMF tones and each alert tone at half of it.
    int Amplitude = 63;
    TImpairments Impairments;
    int Rate = 44100;
};

// The quiet before and after every test signal (room for the noise to be
// measured in).
inline constexpr double TestSignalPaddingSeconds = 0.2;

// What the signal holds before the impairments change it.
struct TTestTiming {
    int SeizureBits = 0, MarkBits = 0;
    double SubscriberAlertSeconds = 0;  // 440 Hz (Bell 202 call waiting)
    double AlertSeconds = 0;            // 2130 + 2750 Hz
    double QuietSeconds = 0;            // after the alerts
    double DtmfToneSeconds = 0.070, DtmfGapSeconds = 0.070;
};
TTestTiming NominalTiming(const TTestSignal& signal);

// Throws RinglarkError when a value is out of range, applies to nothing in
// this signal (an FSK impairment for DTMF, an alert setting with no alert) or
// the levels put a tone above full scale.
void CheckTestSignal(const TTestSignal& signal);

// The samples, checked first; the same request always gives the same samples.
std::vector<float> SynthesiseTestSignal(const TTestSignal& signal);

enum class TSampleFormat { U8, S16 };

// A mono PCM WAV file of the samples (clipped to full scale).
Bytes EncodeWav(const std::vector<float>& samples, int rate, TSampleFormat format);

// The rate range accepted: 8000 to 192000/s.
inline constexpr int MinTestRate = 8000;
inline constexpr int MaxTestRate = 192000;

}  // namespace ringlark
