#include "protocol/Standards.h"

#include <algorithm>
#include <array>

namespace ringlark {

namespace {

constexpr std::array<std::pair<TCidStandard, std::string_view>, 4> kNames = {{
    {TCidStandard::Bell202, "bell"},
    {TCidStandard::EtsiV23, "etsi"},
    {TCidStandard::Bt, "bt"},
    {TCidStandard::Dtmf, "dtmf"},
}};

constexpr std::array<std::pair<TDtmfFraming, std::string_view>, 4> kFramings = {{
    {TDtmfFraming::StartAEndC, "ac"},
    {TDtmfFraming::StartAEndHash, "a-hash"},
    {TDtmfFraming::StartDEndC, "dc"},
    {TDtmfFraming::EndHash, "hash"},
}};

// The name of a value in a table of names, the first name for a value it lacks.
template <typename T, std::size_t N>
std::string_view NameIn(const std::array<std::pair<T, std::string_view>, N>& table, T value) {
    for (const auto& [v, name] : table) {
        if (v == value) {
            return name;
        }
    }
    return table.front().second;
}

template <typename T, std::size_t N>
std::optional<T> ValueNamed(const std::array<std::pair<T, std::string_view>, N>& table,
                            std::string_view name) {
    for (const auto& [value, n] : table) {
        if (n == name) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string_view StandardName(TCidStandard standard) {
    return NameIn(kNames, standard);
}

std::optional<TCidStandard> StandardNamed(std::string_view name) {
    return ValueNamed(kNames, name);
}

std::string_view StandardTitle(TCidStandard standard) {
    switch (standard) {
        case TCidStandard::EtsiV23:
            return "ETSI V.23 (Europe)";
        case TCidStandard::Bt:
            return "BT (United Kingdom)";
        case TCidStandard::Dtmf:
            return "DTMF";
        case TCidStandard::Bell202:
            break;
    }
    return "Bell 202 (North America)";
}

TV23Timing V23TimingFor(TCidStandard standard, TSignalling signalling, bool alert) {
    TV23Timing timing;
    if (signalling == TSignalling::CallWaiting) {
        timing.AlertSeconds = 0.080;
        timing.QuietSeconds = 0.160;
        timing.SeizureBits = 0;
        timing.MarkBits = 80;
        return timing;
    }
    if (standard == TCidStandard::Bt) {
        timing.AlertSeconds = 0.100;
        timing.QuietSeconds = 0.060;
        timing.SeizureBits = 300;
        timing.MarkBits = 80;
        return timing;
    }
    timing.AlertSeconds = alert ? 0.100 : 0.0;
    timing.QuietSeconds = alert ? 0.060 : 0.0;
    timing.SeizureBits = 300;
    timing.MarkBits = 180;
    return timing;
}

std::string_view DtmfFramingName(TDtmfFraming framing) {
    return NameIn(kFramings, framing);
}

std::optional<TDtmfFraming> DtmfFramingNamed(std::string_view name) {
    return ValueNamed(kFramings, name);
}

std::string DtmfDigits(std::string_view number, bool isPrivate, bool unavailable,
                       TDtmfFraming framing, const TDtmfAbsenceCodes& codes) {
    std::string digits;
    for (char c : number) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    const bool absent = isPrivate || unavailable || digits.empty();
    switch (framing) {
        case TDtmfFraming::StartAEndC:
            return absent ? "B" + (isPrivate ? codes.Private : codes.Unavailable) + "C"
                          : "A" + digits + "C";
        case TDtmfFraming::StartAEndHash:
            return absent ? std::string(isPrivate ? "D1#" : "D3#") : "A" + digits + "#";
        case TDtmfFraming::StartDEndC:
            return absent ? "B" + (isPrivate ? codes.Private : codes.Unavailable) + "C"
                          : "D" + digits + "C";
        case TDtmfFraming::EndHash:
            return absent ? std::string(isPrivate ? "D1#" : "D3#") : digits + "#";
    }
    return digits;
}

std::optional<std::pair<double, double>> DtmfTones(char digit) {
    static constexpr std::string_view kKeys = "123A456B789C*0#D";
    static constexpr std::array<double, 4> kRows = {697, 770, 852, 941};
    static constexpr std::array<double, 4> kColumns = {1209, 1336, 1477, 1633};
    const auto at = kKeys.find(digit);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    return std::make_pair(kRows[at / 4], kColumns[at % 4]);
}

}  // namespace ringlark
