#include "generation/Standards.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "generation/FskSynth.h"
#include "generation/WavImage.h"

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

constexpr double kRate = SampleRate;

// Appends samples of a sum of tones, each with its own running phase.
class TToneWriter {
  public:
    TToneWriter(Bytes& stream, int amplitude) : stream_(stream), amplitude_(amplitude) {}
    void Tones(std::initializer_list<double> hz, double seconds, double share) {
        const auto n = static_cast<std::size_t>(std::lround(seconds * kRate));
        std::vector<double> phases(hz.size(), 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            double v = 0;
            std::size_t k = 0;
            for (double f : hz) {
                v += share * std::sin(phases[k]);
                phases[k] += 2 * M_PI * f / kRate;
                ++k;
            }
            Put(v);
        }
    }
    void Quiet(double seconds) {
        stream_.append(static_cast<std::size_t>(std::lround(seconds * kRate)),
                       static_cast<char>(128));
    }
    // FSK bits at exactly 1200/s, phase-continuous across bits and calls.
    void Bits(const std::vector<bool>& bits, double mark, double space) {
        const double samplesPerBit = kRate / 1200.0;
        const std::size_t total =
            static_cast<std::size_t>(std::lround(static_cast<double>(bits.size()) * samplesPerBit));
        for (std::size_t i = 0; i < total; ++i) {
            const auto bit = std::min(
                bits.size() - 1, static_cast<std::size_t>(static_cast<double>(i) / samplesPerBit));
            Put(std::sin(fskPhase_));
            fskPhase_ =
                std::fmod(fskPhase_ + 2 * M_PI * (bits[bit] ? mark : space) / kRate, 2 * M_PI);
        }
    }

  private:
    void Put(double v) {
        const long value = 128 + std::lround(amplitude_ * v);
        stream_ += static_cast<char>(std::clamp(value, 0L, 255L));
    }
    Bytes& stream_;
    int amplitude_;
    double fskPhase_ = 0;
};

std::vector<bool> FramedBits(const TV23Timing& timing, const Bytes& message) {
    std::vector<bool> bits;
    for (int i = 0; i < timing.SeizureBits; ++i) {
        bits.push_back(i % 2 == 1);  // a space first
    }
    bits.insert(bits.end(), static_cast<std::size_t>(timing.MarkBits), true);
    for (char c : message) {
        const auto byte = static_cast<uint8_t>(c);
        bits.push_back(false);
        for (int k = 0; k < 8; ++k) {
            bits.push_back(((byte >> k) & 1) != 0);
        }
        bits.push_back(true);
    }
    return bits;
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

Bytes SynthesiseV23Image(const Bytes& message, const TV23Timing& timing, int amplitude) {
    Bytes stream(WavHeaderSize, '\0');
    TToneWriter writer(stream, amplitude);
    if (timing.AlertSeconds > 0) {
        writer.Tones({2130.0, 2750.0}, timing.AlertSeconds, 0.5);
        writer.Quiet(timing.QuietSeconds);
    }
    writer.Bits(FramedBits(timing, message), V23MarkHz, V23SpaceHz);
    WriteWavHeader(stream);
    return stream;
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

Bytes SynthesiseDtmfImage(std::string_view digits, int amplitude, double toneSeconds,
                          double gapSeconds) {
    Bytes stream(WavHeaderSize, '\0');
    TToneWriter writer(stream, amplitude);
    for (char c : digits) {
        if (const auto tones = DtmfTones(c)) {
            writer.Tones({tones->first, tones->second}, toneSeconds, 0.5);
            writer.Quiet(gapSeconds);
        }
    }
    WriteWavHeader(stream);
    return stream;
}

}  // namespace ringlark
