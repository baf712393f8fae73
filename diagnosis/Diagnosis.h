#pragma once

// A line diagnosis: what a recording of a telephone line holds (rings, alert
// tones, caller ID of any standard, read whether or not it holds together),
// where the caller ID lies relative to the rings, and what is wrong with it
// for a receiver (the findings). The report (DiagnosisReport) says it in
// plain words.
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "decoding/tones/AlertTones.h"
#include "diagnosis/RingDetector.h"
#include "measurement/Measurements.h"
#include "protocol/Standards.h"

namespace ringlark {

// Where a message lies relative to the rings of its call.
enum class TPlacement {
    BeforeFirstRing,
    BetweenFirstAndSecondRing,
    AfterFirstRing,   // the only ring heard
    AfterSecondRing,  // later in the ringing
    NoRinging,        // no ring near it (on-hook without ringing)
    OffHook,          // the off-hook form (no channel seizure) with no ring near it
};

// "before the first ring", "between the first and second ring", ...
std::string PlacementText(TPlacement placement);
// "before", "between", "after", "later", "none", "offhook" (advice keys, JSON).
std::string PlacementKey(TPlacement placement);

// One caller-ID message heard: FSK of either family, or DTMF.
struct TLineMessage {
    TCidStandard Standard = TCidStandard::Bell202;  // Bt for V.23 in BT's form
    double BurstSeconds = 0;  // the first sound of the data (seizure, marks, first digit)
    double Seconds = 0;       // the first start bit (FSK) or digit
    double EndSeconds = 0;
    bool Decoded = false;  // every rule holds: a receiver shows it
    Bytes Message;         // FSK: the bytes read (all of them, also when it failed)
    std::vector<std::string> Frames;
    std::string Digits;  // DTMF: the digits, framing included
    std::string Fields;  // "Date: 12/07; Time: 09:30; Number: 8005551212", when decoded
    std::string Broke;   // where it broke (empty when decoded)
    bool ChecksumFailed = false;
    // FSK: levels, twist, noise and preamble (from the measurements when decoded)
    double MarkDbfs = 0, SpaceDbfs = 0, TwistDb = 0;
    std::optional<double> SnrDb;
    int SeizureBits = 0, MarkBits = 0;
    std::string Limits;               // "bell", "etsi", "bt": whose limits apply
    std::vector<TLimitRow> Rows;      // the measurements against those limits (decoded FSK)
    std::optional<TAlertTone> Alert;  // the dual-tone alert just before it
    double AlertGapSeconds = 0;
    std::optional<TRingBurst> RingAlert;  // a short ring burst just before it (RP-AS)
    // the call and the rings around it
    int Call = 0;
    TPlacement Placement = TPlacement::NoRinging;
    std::optional<double> SinceRingEnd;   // from the end of the ring before to the data
    std::optional<double> UntilNextRing;  // from the end of the data to the next ring
    bool FirstRingOfCallBefore = false;   // the ring before is the call's first
};

// DTMF digits that do not form a caller ID a receiver recognises.
struct TLooseDigits {
    double Seconds = 0;
    std::string Digits;
};

enum class TFindingKind {
    NoSignal,       // rings, and nothing where the standards put caller ID
    NothingAtAll,   // no rings and no caller ID
    OtherStandard,  // not the standard expected
    TooWeak,
    TooStrong,
    Twist,
    Noise,
    AlertGap,  // data too soon (or too late) after the alert tone
    ShortMarkRun,
    RingGap,  // too close to a ring
    Checksum,
    Structure,   // the checksum holds but the structure does not
    Unreadable,  // the reading broke off: the signal ended, a character lost its stop bit
    DtmfFraming,
    AfterFirstRing,   // the standard puts it before the first ring
    BeforeFirstRing,  // the standard puts it after the first ring
};
// "no-signal", "nothing", "other-standard", "weak", "strong", "twist", "noise",
// "alert-gap", "short-mark", "ring-gap", "checksum", "structure", "unreadable",
// "dtmf-framing", "after-first-ring", "before-first-ring".
std::string FindingKey(TFindingKind kind);

struct TFinding {
    TFindingKind Kind = TFindingKind::NoSignal;
    int Message = -1;  // the message it is about, or -1
    // The numbers it states (dB, ms, bits, counts), by kind.
    double Value = 0, Low = 0, High = 0;
    int Count = 0, Of = 0;
    std::string Detail;  // a reason or digits
};

struct TDiagnoseOptions {
    // The level of a full-scale sine in dBm: levels are checked only with it.
    std::optional<double> DbmAtFullScale;
    // The standard the receiver expects (bell, etsi, bt, dtmf), if known.
    std::optional<TCidStandard> Expected;
};

struct TDiagnosis {
    double Seconds = 0;  // the length of what was heard
    double Rate = 0;
    TDiagnoseOptions Options;
    std::vector<TRingBurst> Rings;
    int RingCount = 0;               // rings of a cadence (the UK's double ring is one)
    std::vector<TAlertTone> Alerts;  // dual-tone and subscriber alerts
    std::vector<TLineMessage> Messages;
    std::vector<TLooseDigits> LooseDigits;
    int Calls = 0;
    std::vector<TFinding> Findings;

    // The standard most messages came in (Bell202 when there are none).
    TCidStandard MainStandard() const;
    bool Has(TFindingKind kind) const;
};

// Throws RinglarkError for a rate below 8000/s or above 192000/s.
TDiagnosis Diagnose(std::span<const float> samples, double rate,
                    const TDiagnoseOptions& options = {});

// "Bell 202 FSK", "ETSI V.23 FSK", "BT V.23 FSK", "DTMF".
std::string StandardPhrase(TCidStandard standard);

}  // namespace ringlark
