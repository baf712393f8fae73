#pragma once

// The caller-ID standards: Bell 202 (North America), ETSI V.23 FSK (Europe), BT
// (United Kingdom, V.23 with its own timing) and DTMF digits; their tones,
// timing and framing.
#include <optional>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "protocol/MessageFormat.h"

namespace ringlark {

enum class TCidStandard { Bell202, EtsiV23, Bt, Dtmf };

// "bell", "etsi", "bt", "dtmf".
std::string_view StandardName(TCidStandard standard);
std::optional<TCidStandard> StandardNamed(std::string_view name);
// "Bell 202 (North America)", "ETSI V.23 (Europe)", "BT (United Kingdom)", "DTMF".
std::string_view StandardTitle(TCidStandard standard);

// The V.23 tones: mark 1300 Hz, space 2100 Hz, 1200 bit/s.
inline constexpr double V23MarkHz = 1300.0;
inline constexpr double V23SpaceHz = 2100.0;

// What comes before a V.23 message.
struct TV23Timing {
    double AlertSeconds = 0;  // the dual-tone alert DT-AS (2130 + 2750 Hz); 0: none
    double QuietSeconds = 0;  // after the alert
    int SeizureBits = 300;    // alternating bits, a space first
    int MarkBits = 180;
};

// The timing a standard uses: ETSI on-hook: optional DT-AS of 100 ms, 60 ms of
// quiet, 300 seizure bits, 180 mark bits; ETSI off-hook: DT-AS 80 ms, 160 ms for
// the set's acknowledgement, no seizure, 80 mark bits; BT idle state: DT-AS
// 100 ms, 60 ms of quiet, 300 seizure bits, 80 mark bits (BT always alerts).
TV23Timing V23TimingFor(TCidStandard standard, TSignalling signalling, bool alert);

// DTMF caller ID: how the digits are framed. Networks differ; a receiver tells
// them apart by the first and last characters.
enum class TDtmfFraming {
    StartAEndC,     // A<number>C, absence B<code>C (Nordic countries, Belgium, India, Brazil...)
    StartAEndHash,  // A<number>#, absence D1# private, D2# international, D3# unavailable
    StartDEndC,     // D<number>C
    EndHash,        // <number># without a start character
};
std::string_view DtmfFramingName(TDtmfFraming framing);  // "ac", "a-hash", "dc", "hash"
std::optional<TDtmfFraming> DtmfFramingNamed(std::string_view name);

// The two-digit absence codes after B: sources disagree on which means private.
struct TDtmfAbsenceCodes {
    std::string Unavailable = "00";
    std::string Private = "10";
};

// The digit string for a number (digits only are kept), or for its absence.
std::string DtmfDigits(std::string_view number, bool isPrivate, bool unavailable,
                       TDtmfFraming framing, const TDtmfAbsenceCodes& codes = {});

// The row and column frequencies of a DTMF digit; nothing for another character.
std::optional<std::pair<double, double>> DtmfTones(char digit);

}  // namespace ringlark
