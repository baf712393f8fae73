#include "testsignal/settings/TestSignalSettings.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark {

namespace {

// The label of each impairment, by its option name.
constexpr std::pair<std::string_view, std::string_view> kLabels[] = {
    {"level-dbfs", "Level (dBFS)"},
    {"twist-db", "Twist (dB)"},
    {"mark-error-pct", "Mark frequency error (%)"},
    {"space-error-pct", "Space frequency error (%)"},
    {"baud-error-pct", "Bit rate error (%)"},
    {"seizure-bits", "Channel seizure (bits)"},
    {"mark-bits", "Mark run (bits)"},
    {"idle-bits", "Marks after each byte (bits)"},
    {"alert-ms", "Alert length (ms)"},
    {"alert-level-dbfs", "Alert level (dBFS)"},
    {"alert-error-pct", "Alert frequency error (%)"},
    {"alert-twist-db", "Alert twist (dB)"},
    {"dtmf-tone-ms", "DTMF tone length (ms)"},
    {"dtmf-gap-ms", "DTMF gap length (ms)"},
    {"dtmf-error-pct", "DTMF frequency error (%)"},
    {"snr-db", "Noise: SNR in 300-3400 Hz (dB)"},
};

constexpr std::string_view kSeed = "seed";
constexpr double kMaxSeed = 4294967295.0;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// A number in plain decimal notation, all of the text (spaces around it
// aside); nothing otherwise.
std::optional<double> Decimal(std::string text) {
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    while (!text.empty() && text.front() == ' ') {
        text.erase(0, 1);
    }
    if (text.empty() || text.find_first_not_of("+-.0123456789") != std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

bool Blank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

}  // namespace

TTestSignalSettings::TTestSignalSettings() {
    for (const auto& range : ImpairmentRanges()) {
        std::string label = range.Option;
        for (const auto& [option, text] : kLabels) {
            label = option == range.Option ? std::string(text) : label;
        }
        Fields.push_back({range.Option, label, Number(range.Min) + " to " + Number(range.Max), ""});
    }
    Fields.push_back({std::string(kSeed), "Noise seed", "0 to 4294967295", ""});
}

TTestSignalField* TTestSignalSettings::Find(std::string_view option) {
    for (auto& field : Fields) {
        if (field.Option == option) {
            return &field;
        }
    }
    return nullptr;
}

void TTestSignalSettings::Show(const TImpairments& impairments) {
    for (auto& field : Fields) {
        std::optional<double> value = ImpairmentValue(impairments, field.Option);
        if (field.Option == kSeed && impairments.Seed) {
            value = static_cast<double>(*impairments.Seed);
        }
        field.Text = value ? Number(*value) : "";
    }
    TelephoneBand = impairments.TelephoneBand;
}

void TTestSignalSettings::AllOff() {
    Show(TImpairments{});
}

TImpairments TTestSignalSettings::Read() const {
    TImpairments m;
    const auto& ranges = ImpairmentRanges();
    for (std::size_t i = 0; i < Fields.size(); ++i) {
        const TTestSignalField& field = Fields[i];
        if (Blank(field.Text)) {
            continue;
        }
        const std::optional<double> value = Decimal(field.Text);
        if (!value) {
            throw RinglarkError(field.Label + ": " + msg::NotValidNumber(field.Text));
        }
        const bool seed = field.Option == kSeed;
        const double min = seed ? 0 : ranges[i].Min;
        const double max = seed ? kMaxSeed : ranges[i].Max;
        const bool whole = seed || ranges[i].Integer;
        if (!(*value >= min && *value <= max) || (whole && *value != std::floor(*value))) {
            throw RinglarkError(field.Label + ": '" + field.Text + "' is out of range: " +
                                field.Range + (whole ? ", a whole number" : ""));
        }
        if (seed) {
            m.Seed = static_cast<uint64_t>(*value);
        } else {
            SetImpairmentValue(m, field.Option, *value);
        }
    }
    m.TelephoneBand = TelephoneBand;
    return m;
}

void TTestSignalSettings::Apply(bool ok, TImpairments& inForce) const {
    if (ok) {
        inForce = Read();
    }
}

}  // namespace ringlark
