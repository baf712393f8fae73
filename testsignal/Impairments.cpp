#include "testsignal/Impairments.h"

#include <cmath>
#include <cstdio>
#include <functional>

#include <nlohmann/json.hpp>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark {

namespace {

// One value of TImpairments with its range; integers are held as doubles here.
struct TField {
    TImpairmentRange Range;
    bool Integer = false;
    std::function<std::optional<double>(const TImpairments&)> Get;
    std::function<void(TImpairments&, std::optional<double>)> Set;
};

template <typename T>
TField Field(std::string option, double min, double max, std::string unit, std::string help,
             std::optional<T> TImpairments::*member) {
    return TField{
        {std::move(option), min, max, std::move(unit), std::move(help), std::is_integral_v<T>},
        std::is_integral_v<T>,
        [member](const TImpairments& m) -> std::optional<double> {
            if (!(m.*member)) {
                return std::nullopt;
            }
            return static_cast<double>(*(m.*member));
        },
        [member](TImpairments& m, std::optional<double> v) {
            if (!v) {
                m.*member = std::nullopt;
            } else if constexpr (std::is_integral_v<T>) {
                m.*member = static_cast<T>(std::lround(*v));
            } else {
                m.*member = static_cast<T>(*v);
            }
        }};
}

const std::vector<TField>& Fields() {
    static const std::vector<TField> fields = {
        Field("level-dbfs", -90, 0, "dBFS", "level of the lower tone (a full-scale sine is 0)",
              &TImpairments::LevelDbfs),
        Field("twist-db", -20, 20, "dB", "lower tone's level minus the higher tone's",
              &TImpairments::TwistDb),
        Field("mark-error-pct", -10, 10, "%", "FSK mark frequency error",
              &TImpairments::MarkErrorPct),
        Field("space-error-pct", -10, 10, "%", "FSK space frequency error",
              &TImpairments::SpaceErrorPct),
        Field("baud-error-pct", -10, 10, "%", "FSK bit rate error", &TImpairments::BaudErrorPct),
        Field("seizure-bits", 0, 1000, "bits", "channel seizure bits (alternating, a space first)",
              &TImpairments::SeizureBits),
        Field("mark-bits", 0, 1000, "bits", "marks before the first byte", &TImpairments::MarkBits),
        Field("idle-bits", 0, 20, "bits", "marks after each byte's stop bit",
              &TImpairments::IdleBits),
        Field("alert-ms", 0, 1000, "ms", "dual-tone alert length (0: none)",
              &TImpairments::AlertMs),
        Field("alert-level-dbfs", -90, 0, "dBFS", "dual-tone alert level of the 2130 Hz tone",
              &TImpairments::AlertLevelDbfs),
        Field("alert-error-pct", -10, 10, "%", "dual-tone alert frequency error",
              &TImpairments::AlertErrorPct),
        Field("alert-twist-db", -20, 20, "dB", "2130 Hz level minus 2750 Hz level",
              &TImpairments::AlertTwistDb),
        Field("dtmf-tone-ms", 5, 1000, "ms", "DTMF tone length", &TImpairments::DtmfToneMs),
        Field("dtmf-gap-ms", 5, 1000, "ms", "DTMF gap length", &TImpairments::DtmfGapMs),
        Field("dtmf-error-pct", -10, 10, "%", "DTMF frequency error of both tones",
              &TImpairments::DtmfErrorPct),
        Field("snr-db", -20, 80, "dB", "white noise in 300-3400 Hz, signal over noise",
              &TImpairments::SnrDb),
    };
    return fields;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string JsonKey(std::string option) {
    for (char& c : option) {
        c = c == '-' ? '_' : c;
    }
    return option;
}

}  // namespace

bool TImpairments::Any() const {
    return *this != TImpairments{};
}

const std::vector<TImpairmentRange>& ImpairmentRanges() {
    static const std::vector<TImpairmentRange> ranges = [] {
        std::vector<TImpairmentRange> out;
        for (const auto& field : Fields()) {
            out.push_back(field.Range);
        }
        return out;
    }();
    return ranges;
}

void CheckImpairments(const TImpairments& impairments) {
    for (const auto& field : Fields()) {
        const auto value = field.Get(impairments);
        if (value && !(*value >= field.Range.Min && *value <= field.Range.Max)) {
            throw RinglarkError(msg::ValueOutOfRange(field.Range.Option, Number(*value),
                                                     Number(field.Range.Min),
                                                     Number(field.Range.Max), field.Range.Unit));
        }
    }
}

std::optional<double> ImpairmentValue(const TImpairments& impairments, std::string_view option) {
    for (const auto& field : Fields()) {
        if (field.Range.Option == option) {
            return field.Get(impairments);
        }
    }
    return std::nullopt;
}

void SetImpairmentValue(TImpairments& impairments, std::string_view option,
                        std::optional<double> value) {
    for (const auto& field : Fields()) {
        if (field.Range.Option == option) {
            field.Set(impairments, value);
        }
    }
}

double DbmToDbfs(double dbm, double dbmAtFullScale) {
    return dbm - dbmAtFullScale;
}

nlohmann::json ImpairmentsJson(const TImpairments& impairments) {
    nlohmann::json out = nlohmann::json::object();
    for (const auto& field : Fields()) {
        if (const auto value = field.Get(impairments)) {
            const std::string key = JsonKey(field.Range.Option);
            out[key] =
                field.Integer ? nlohmann::json(static_cast<int>(*value)) : nlohmann::json(*value);
        }
    }
    if (impairments.Seed) {
        out["seed"] = *impairments.Seed;
    }
    if (impairments.TelephoneBand) {
        out["telephone_band"] = true;
    }
    return out;
}

TImpairments ImpairmentsFromJson(const nlohmann::json& object, double dbmAtFullScale) {
    if (!object.is_object()) {
        throw RinglarkError("impairments must be a JSON object");
    }
    TImpairments m;
    for (const auto& item : object.items()) {
        const std::string& key = item.key();
        const nlohmann::json& value = item.value();
        const auto need = [&](bool ok, const char* what) {
            if (!ok) {
                throw RinglarkError("\"" + key + "\" must be " + what);
            }
        };
        if (key == "seed") {
            need(value.is_number_unsigned(), "a whole number of 0 or more");
            m.Seed = value.get<uint64_t>();
        } else if (key == "telephone_band") {
            need(value.is_boolean(), "true or false");
            m.TelephoneBand = value.get<bool>();
        } else if (key == "level_dbm" || key == "alert_level_dbm") {
            need(value.is_number(), "a number");
            const double dbfs = DbmToDbfs(value.get<double>(), dbmAtFullScale);
            (key == "level_dbm" ? m.LevelDbfs : m.AlertLevelDbfs) = dbfs;
        } else {
            const TField* found = nullptr;
            for (const auto& field : Fields()) {
                found = JsonKey(field.Range.Option) == key ? &field : found;
            }
            if (found == nullptr) {
                throw RinglarkError("unknown impairment \"" + key + "\"");
            }
            need(value.is_number() && (!found->Integer || value.is_number_integer()),
                 found->Integer ? "a whole number" : "a number");
            found->Set(m, value.get<double>());
        }
    }
    CheckImpairments(m);
    return m;
}

std::string ImpairmentsText(const TImpairments& impairments) {
    std::string text;
    for (const auto& field : Fields()) {
        if (const auto value = field.Get(impairments)) {
            text += (text.empty() ? "" : ", ") + field.Range.Option + " " + Number(*value);
        }
    }
    if (impairments.Seed) {
        text +=
            (text.empty() ? "" : ", ") + std::string("seed ") + std::to_string(*impairments.Seed);
    }
    if (impairments.TelephoneBand) {
        text += (text.empty() ? "" : ", ") + std::string("telephone-band");
    }
    return text.empty() ? "none" : text;
}

}  // namespace ringlark
