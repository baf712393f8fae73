#pragma once

// What a receiver test changes in a caller-ID signal: levels, twist, tone and
// bit-rate errors, the preamble's length, marks between bytes, the alert
// tone, DTMF timing, white noise and the telephone band. Everything is off by
// default; a value that is set replaces the generator's own.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace ringlark {

// Twist is always the lower tone's level minus the higher tone's (mark minus
// space, 2130 Hz minus 2750 Hz, DTMF row minus column); a level is that of
// the lower tone, the higher one lying `twist` dB below it.
struct TImpairments {
    std::optional<double> LevelDbfs;  // a full-scale sine is 0 dBFS
    std::optional<double> TwistDb;
    std::optional<double> MarkErrorPct;    // FSK mark frequency error
    std::optional<double> SpaceErrorPct;   // FSK space frequency error
    std::optional<double> BaudErrorPct;    // FSK bit rate error
    std::optional<int> SeizureBits;        // channel seizure bits
    std::optional<int> MarkBits;           // marks before the first byte
    std::optional<int> IdleBits;           // marks after each byte's stop bit
    std::optional<double> AlertMs;         // dual-tone alert length
    std::optional<double> AlertLevelDbfs;  // per tone (2130 Hz; 2750 Hz less the twist)
    std::optional<double> AlertErrorPct;   // both alert tones' frequency error
    std::optional<double> AlertTwistDb;
    std::optional<double> DtmfToneMs;
    std::optional<double> DtmfGapMs;
    std::optional<double> DtmfErrorPct;  // both tones of every digit
    std::optional<double> SnrDb;         // white noise in 300-3400 Hz
    std::optional<uint64_t> Seed;        // of the noise (default 1)
    bool TelephoneBand = false;          // 300-3400 Hz line filter

    bool Any() const;
    bool operator==(const TImpairments&) const = default;
};

// One impairment's name as an option ("level-dbfs") and as a JSON key
// ("level_dbfs"), its allowed range and what it means.
struct TImpairmentRange {
    std::string Option;
    double Min = 0, Max = 0;
    std::string Unit;
    std::string Help;
    bool Integer = false;  // a whole number (bits)
};
const std::vector<TImpairmentRange>& ImpairmentRanges();

// One impairment's value by its option name ("twist-db"); nothing when it is
// off or the name is not one of ImpairmentRanges'.
std::optional<double> ImpairmentValue(const TImpairments& impairments, std::string_view option);
// Sets it (nothing turns it off); a whole-number impairment takes the value
// rounded. Unknown names change nothing.
void SetImpairmentValue(TImpairments& impairments, std::string_view option,
                        std::optional<double> value);

// Throws RinglarkError naming the first value out of its range:
// "--twist-db 30 is out of range: -20 to 20 dB".
void CheckImpairments(const TImpairments& impairments);

// A level in dBm turned to dBFS with the level of a full-scale sine in dBm.
double DbmToDbfs(double dbm, double dbmAtFullScale);

// JSON object with one key per value set ("level_dbfs": -20, ...) and back;
// an unknown key or a value of the wrong type throws RinglarkError.
nlohmann::json ImpairmentsJson(const TImpairments& impairments);
TImpairments ImpairmentsFromJson(const nlohmann::json& object, double dbmAtFullScale);

// "level -20.0 dBFS, twist 6.0 dB" or "none".
std::string ImpairmentsText(const TImpairments& impairments);

}  // namespace ringlark
