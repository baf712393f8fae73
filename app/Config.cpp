#include "app/Config.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/FileWriting.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark {

namespace {

Bytes UpperAscii(const Bytes& text) {
    Bytes out = text;
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

Bytes KeyPath(std::string_view name) {
    return Bytes(ConfigRoot) + "\\" + Bytes(name);
}

struct TListKey {
    std::string_view Name;
    TMRU TConfigValues::*List;
};
constexpr std::array<TListKey, 3> kListKeys = {{
    {"NumberMRU", &TConfigValues::NumberMRU},
    {"NameMRU", &TConfigValues::NameMRU},
    {"AnalystMRU", &TConfigValues::AnalystMRU},
}};
struct TIntegerValue {
    std::string_view Name;
    int32_t TConfigValues::*Field;
};
constexpr std::array<TIntegerValue, 2> kIntegers = {{
    {"Amplitude", &TConfigValues::Amplitude},
    {"Clip", &TConfigValues::Clip},
}};
constexpr std::string_view kConfigKey = "Config";
constexpr std::string_view kStandardValue = "Standard";
constexpr int32_t kDefaultLevel = 63;
constexpr std::string_view kEtsiAlertValue = "EtsiAlert";
constexpr std::string_view kDtmfFramingValue = "DtmfFraming";
constexpr std::string_view kUnavailableValue = "DtmfUnavailableCode";
constexpr std::string_view kPrivateValue = "DtmfPrivateCode";
constexpr std::string_view kDbmValue = "DbmAtFullScale";
constexpr std::string_view kTestSignalKey = "TestSignal";
constexpr std::string_view kMonitorLogValue = "MonitorLogFile";
constexpr std::string_view kMonitorNotifyValue = "MonitorNotify";
constexpr std::string_view kMonitorHookValue = "MonitorHook";
constexpr std::string_view kSeedValue = "seed";
constexpr std::string_view kBandValue = "telephone-band";

std::string DecimalText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// The values later versions added: each read when present, its default kept
// (and the error told) when it cannot be read.
void ReadAddedValues(const TRegKey* config, TConfigValues& values,
                     std::vector<std::string>& errors) {
    const TConfigValues defaults;
    values.EtsiAlert = defaults.EtsiAlert;
    values.DtmfFraming = defaults.DtmfFraming;
    values.DtmfCodes = defaults.DtmfCodes;
    values.DbmAtFullScale = defaults.DbmAtFullScale;
    values.MonitorLogFile = defaults.MonitorLogFile;
    values.MonitorNotify = defaults.MonitorNotify;
    values.MonitorHook = defaults.MonitorHook;
    if (config == nullptr) {
        return;
    }
    const auto text = [&](std::string_view name, const std::function<bool(const Bytes&)>& take) {
        if (const TRegValue* value = config->Find(name)) {
            if (value->Type != TRegType::String || !take(value->Text)) {
                errors.push_back(msg::InvalidDataType(name));
            }
        }
    };
    text(kEtsiAlertValue, [&](const Bytes& v) {
        values.EtsiAlert = v == "dtas";
        return v == "dtas" || v == "none";
    });
    text(kDtmfFramingValue, [&](const Bytes& v) {
        const auto framing = DtmfFramingNamed(v);
        values.DtmfFraming = framing.value_or(defaults.DtmfFraming);
        return framing.has_value();
    });
    text(kUnavailableValue, [&](const Bytes& v) {
        if (IsDtmfAbsenceCode(v)) {
            values.DtmfCodes.Unavailable = v;
        }
        return IsDtmfAbsenceCode(v);
    });
    text(kPrivateValue, [&](const Bytes& v) {
        if (IsDtmfAbsenceCode(v)) {
            values.DtmfCodes.Private = v;
        }
        return IsDtmfAbsenceCode(v);
    });
    text(kDbmValue, [&](const Bytes& v) {
        values.DbmAtFullScale = DecimalValue(v);
        return values.DbmAtFullScale.has_value();
    });
    text(kMonitorLogValue, [&](const Bytes& v) {
        values.MonitorLogFile = v;
        return true;
    });
    text(kMonitorNotifyValue, [&](const Bytes& v) {
        values.MonitorNotify = v != "off";
        return v == "off" || v == "on";
    });
    text(kMonitorHookValue, [&](const Bytes& v) {
        values.MonitorHook = v;
        return true;
    });
}

// The test signal's impairments: each value read when it is in range, the
// impairment left off (and the error told) when it is not. Names this version
// does not know are passed over: a later version may have written them.
void ReadTestSignal(const TRegKey* key, TImpairments& impairments,
                    std::vector<std::string>& errors) {
    impairments = TImpairments{};
    if (key == nullptr) {
        return;
    }
    if (key->DamagedLines > 0) {
        errors.push_back(msg::FailedToGetData(kTestSignalKey));
    }
    for (const auto& entry : key->Values) {
        const Bytes& name = entry.first;
        const TRegValue& value = entry.second;
        double number = 0;
        bool numeric = false;
        if (const auto read = DecimalValue(value.Text); read && value.Type == TRegType::String) {
            number = *read;
            numeric = true;
        }
        bool good = false;
        if (name == kBandValue) {
            good = value.Type == TRegType::String && (value.Text == "1" || value.Text == "0");
            impairments.TelephoneBand = good && value.Text == "1";
        } else if (name == kSeedValue) {
            good = numeric && number >= 0 && number <= 4294967295.0 && number == std::floor(number);
            if (good) {
                impairments.Seed = static_cast<uint64_t>(number);
            }
        } else {
            const auto& ranges = ImpairmentRanges();
            const auto range = std::find_if(ranges.begin(), ranges.end(),
                                            [&name](const auto& r) { return r.Option == name; });
            if (range == ranges.end()) {
                continue;
            }
            good = numeric && number >= range->Min && number <= range->Max &&
                   (!range->Integer || number == std::floor(number));
            if (good) {
                SetImpairmentValue(impairments, range->Option, number);
            }
        }
        if (!good) {
            errors.push_back(msg::InvalidDataType(name));
        }
    }
}

void ReadList(const TRegKey* key, TMRU& list, std::vector<std::string>& errors,
              std::string_view keyName) {
    if (key == nullptr) {
        return;  // an absent key reads as ten empty values
    }
    if (key->DamagedLines > 0) {
        errors.push_back(msg::FailedToGetData(keyName));
    }
    for (std::size_t n = 0; n < list.size(); ++n) {
        const std::string name = std::to_string(n + 1);
        const TRegValue* value = key->Find(name);
        if (value == nullptr) {
            list[n].clear();
        } else if (value->Type == TRegType::String) {
            list[n] = value->Text.substr(0, MaxMruEntryBytes);
        } else {
            errors.push_back(msg::InvalidDataType(name));
            list[n].clear();
        }
    }
}

}  // namespace

bool BubbleMRU(TMRU& list, const Bytes& entry) {
    if (entry.empty()) {
        return false;
    }
    const Bytes wanted = UpperAscii(entry);
    for (std::size_t k = list.size() - 1; k >= 1; --k) {
        if (UpperAscii(list[k]) == wanted) {
            std::swap(list[k], list[k - 1]);
        }
    }
    if (list[0] != entry) {
        for (std::size_t k = list.size() - 1; k >= 1; --k) {
            list[k] = list[k - 1];
        }
    }
    list[0] = entry;
    return true;
}

std::optional<TRegistryDocument> TRegFileStore::Load() {
    struct stat info {};
    if (stat(path_.c_str(), &info) != 0) {
        const bool absent = errno == ENOENT;
        if (absent && !earlierPath_.empty() && FileExists(earlierPath_)) {
            TRegFileStore earlier(earlierPath_);
            auto document = earlier.Load();
            copyPending_ = false;
            return document;  // saved at path_ from now on
        }
        if (absent) {
            return std::nullopt;  // nothing stored yet (a dangling link too)
        }
        refusal_ = "it cannot be examined";
    } else if (!S_ISREG(info.st_mode)) {
        refusal_ = "it is not a regular file";
    } else if (static_cast<uint64_t>(info.st_size) > MaxFileSize) {
        refusal_ = "it is larger than 4 MB";
    }
    Bytes text;
    if (refusal_.empty()) {
        try {
            text = ReadRegularFile(path_, MaxFileSize, "4 MB");
        } catch (const RinglarkError&) {
            refusal_ = "it cannot be read";
        }
    }
    if (!refusal_.empty()) {
        throw RinglarkError(msg::StoreNotRead(path_, refusal_));
    }
    return ParseRegistryText(text);
}

bool TRegFileStore::Save(const TRegistryDocument& document) {
    if (!refusal_.empty()) {
        throw RinglarkError(msg::StoreNotRead(path_, refusal_));
    }
    try {
        const auto folder = std::filesystem::path(path_).parent_path();
        if (!folder.empty()) {
            std::filesystem::create_directories(folder);
        }
        if (copyPending_) {
            const Bytes old = ReadRegularFile(path_, MaxFileSize, "4 MB");
            WriteFileIfAbsent(path_ + ".bak", old);
            copyPending_ = false;
        }
        WriteFileReplacing(path_, FormatRegistryText(document));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::optional<std::string> TRegFileStore::KeepCopyBeforeNextSave() {
    copyPending_ = true;
    return "The configuration file had errors; before it is saved again, it is kept as " + path_ +
           ".bak";
}

TRegistryDocument ConfigDocument(const TConfigValues& values) {
    TRegistryDocument document;
    for (const auto& listKey : kListKeys) {
        TRegKey& key = document.Key(KeyPath(listKey.Name));
        const TMRU& list = values.*listKey.List;
        for (std::size_t n = 0; n < list.size(); ++n) {
            key.Set(std::to_string(n + 1), TRegValue{TRegType::String, list[n], 0});
        }
    }
    TRegKey& config = document.Key(KeyPath(kConfigKey));
    for (const auto& integer : kIntegers) {
        config.Set(Bytes(integer.Name),
                   TRegValue{TRegType::Dword, "", static_cast<uint32_t>(values.*integer.Field)});
    }
    if (values.Standard != TCidStandard::Bell202) {
        config.Set(Bytes(kStandardValue),
                   TRegValue{TRegType::String, Bytes(StandardName(values.Standard)), 0});
    }
    const TConfigValues defaults;
    const auto text = [&config](std::string_view name, std::string_view value) {
        config.Set(Bytes(name), TRegValue{TRegType::String, Bytes(value), 0});
    };
    if (values.EtsiAlert) {
        text(kEtsiAlertValue, "dtas");
    }
    if (values.DtmfFraming != defaults.DtmfFraming) {
        text(kDtmfFramingValue, DtmfFramingName(values.DtmfFraming));
    }
    if (values.DtmfCodes.Unavailable != defaults.DtmfCodes.Unavailable) {
        text(kUnavailableValue, values.DtmfCodes.Unavailable);
    }
    if (values.DtmfCodes.Private != defaults.DtmfCodes.Private) {
        text(kPrivateValue, values.DtmfCodes.Private);
    }
    if (values.DbmAtFullScale) {
        text(kDbmValue, DecimalText(*values.DbmAtFullScale));
    }
    if (!values.MonitorLogFile.empty()) {
        text(kMonitorLogValue, values.MonitorLogFile);
    }
    if (!values.MonitorNotify) {
        text(kMonitorNotifyValue, "off");
    }
    if (!values.MonitorHook.empty()) {
        text(kMonitorHookValue, values.MonitorHook);
    }
    if (values.TestSignal.Any()) {
        TRegKey& key = document.Key(KeyPath(kTestSignalKey));
        const auto set = [&key](std::string_view name, const std::string& value) {
            key.Set(Bytes(name), TRegValue{TRegType::String, value, 0});
        };
        for (const auto& range : ImpairmentRanges()) {
            if (const auto value = ImpairmentValue(values.TestSignal, range.Option)) {
                set(range.Option, DecimalText(*value));
            }
        }
        if (values.TestSignal.Seed) {
            set(kSeedValue, std::to_string(*values.TestSignal.Seed));
        }
        if (values.TestSignal.TelephoneBand) {
            set(kBandValue, "1");
        }
    }
    return document;
}

std::vector<std::string> GetConfig(IConfigStore& store, TConfigValues& values) {
    std::vector<std::string> errors;
    std::optional<TRegistryDocument> document;
    try {
        document = store.Load();
    } catch (const RinglarkError& error) {
        // Stored but unreadable: said so, the defaults used, the file kept.
        errors.push_back(error.what());
        values = TConfigValues{};
        return errors;
    }
    const bool nothingStored = !document || (document->Keys.empty() && document->DamagedLines == 0);
    if (nothingStored) {
        values.NumberMRU = {};
        values.NameMRU = {};
        values.Amplitude = kDefaultLevel;
        values.Clip = kDefaultLevel;
        try {
            SaveConfig(store, values);
        } catch (const RinglarkError& error) {
            errors.push_back(error.what());
        }
        return errors;
    }
    const bool anyKey =
        document->FindKey(KeyPath(kConfigKey)) != nullptr ||
        std::any_of(kListKeys.begin(), kListKeys.end(), [&document](const TListKey& key) {
            return document->FindKey(KeyPath(key.Name)) != nullptr;
        });
    if (!anyKey) {
        // Something is stored but none of the keys: say so, and keep the file
        // as it is until the configuration is saved at close.
        errors.push_back(msg::FailedToGetData("NumberMRU"));
        values.Amplitude = kDefaultLevel;
        values.Clip = kDefaultLevel;
        if (auto copy = store.KeepCopyBeforeNextSave()) {
            errors.push_back(*copy);
        }
        return errors;
    }
    if (document->FindKey(KeyPath("NumberMRU")) == nullptr) {
        // The first list missing is reported (an absent name or analyst list
        // reads as empty, as it always has); the other keys are still read.
        errors.push_back(msg::FailedToGetData("NumberMRU"));
    }
    for (const auto& listKey : kListKeys) {
        ReadList(document->FindKey(KeyPath(listKey.Name)), values.*listKey.List, errors,
                 listKey.Name);
    }
    const TRegKey* config = document->FindKey(KeyPath(kConfigKey));
    if (config != nullptr && config->DamagedLines > 0) {
        errors.push_back(msg::FailedToGetData(kConfigKey));
    }
    for (const auto& integer : kIntegers) {
        const TRegValue* value = config != nullptr ? config->Find(integer.Name) : nullptr;
        if (value == nullptr) {
            errors.push_back(msg::FailedToGetData(integer.Name));
            values.*integer.Field = kDefaultLevel;
        } else if (value->Type != TRegType::Dword) {
            errors.push_back(msg::InvalidDataType(integer.Name));
            values.*integer.Field = kDefaultLevel;
        } else {
            values.*integer.Field = static_cast<int32_t>(value->Number);
        }
    }
    values.Standard = TCidStandard::Bell202;
    if (const TRegValue* value = config != nullptr ? config->Find(kStandardValue) : nullptr) {
        const auto standard = value->Type == TRegType::String ? StandardNamed(value->Text)
                                                              : std::optional<TCidStandard>{};
        if (standard) {
            values.Standard = *standard;
        } else {
            errors.push_back(msg::InvalidDataType(kStandardValue));
        }
    }
    ReadAddedValues(config, values, errors);
    ReadTestSignal(document->FindKey(KeyPath(kTestSignalKey)), values.TestSignal, errors);
    if (!errors.empty()) {
        if (auto copy = store.KeepCopyBeforeNextSave()) {
            errors.push_back(*copy);
        }
    }
    return errors;
}

bool IsDtmfAbsenceCode(std::string_view text) {
    return text.size() == 2 && std::isdigit(static_cast<unsigned char>(text[0])) != 0 &&
           std::isdigit(static_cast<unsigned char>(text[1])) != 0;
}

std::optional<double> DecimalValue(std::string_view text) {
    const std::string s(text);
    if (s.empty() || s.find_first_not_of("+-.0123456789") != std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

void SaveConfig(IConfigStore& store, const TConfigValues& values) {
    if (!store.Save(ConfigDocument(values))) {
        throw RinglarkError(msg::FailedToSetData("1"));
    }
}

}  // namespace ringlark
