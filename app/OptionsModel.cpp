#include "app/OptionsModel.h"

#include <cstdio>

#include "core/IntegerText.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark {

namespace {
int32_t IntegerValue(const Bytes& text) {
    const auto value = ParseStandardInteger(text);
    if (!value) {
        throw RinglarkError(msg::NotValidInteger(text));
    }
    return *value;
}
}  // namespace

void TFormOptions::Initialise(int32_t amplitude, int32_t clip) {
    Settings.OptionAmplitude = std::to_string(amplitude);
    Settings.DisableClipping = clip >= NoClipping;
    Settings.OptionClip = std::to_string(clip);
    Settings.OptionClipEnabled = !Settings.DisableClipping;
}

bool& TFormOptions::Box(TOptionsBox box) {
    switch (box) {
        case TOptionsBox::DisableClipping:
            return Settings.DisableClipping;
        case TOptionsBox::AlphaOnly:
            return Settings.AlphaOnly;
        case TOptionsBox::ForceUppercaseName:
            return Settings.ForceUppercaseName;
        case TOptionsBox::NoFiltering:
            break;
    }
    return Settings.NoFiltering;
}

void TFormOptions::Click(TOptionsBox box) {
    Box(box) = !Box(box);
    RunRule(box);
}

void TFormOptions::SetChecked(TOptionsBox box, bool checked) {
    if (Box(box) != checked) {
        Box(box) = checked;
        RunRule(box);
    }
}

void TFormOptions::RunRule(TOptionsBox box) {
    switch (box) {
        case TOptionsBox::DisableClipping:
            Settings.OptionClipEnabled = !Settings.DisableClipping;
            break;
        case TOptionsBox::NoFiltering:
            if (Settings.NoFiltering) {
                SetChecked(TOptionsBox::AlphaOnly, false);
                SetChecked(TOptionsBox::ForceUppercaseName, false);
            }
            break;
        case TOptionsBox::ForceUppercaseName:
        case TOptionsBox::AlphaOnly:
            if (Box(box)) {
                SetChecked(TOptionsBox::NoFiltering, false);
            }
            break;
    }
}

TFilterOptions TFormOptions::Filters() const {
    return {Settings.NoFiltering, Settings.AlphaOnly, Settings.ForceUppercaseName};
}

void ApplyOptions(const TFormOptions& dialog, TDialogResult result, int32_t& amplitude,
                  int32_t& clip) {
    const TOptionsSettings& s = dialog.Settings;
    if (s.DisableClipping) {
        clip = TFormOptions::NoClipping;  // SaveConfigOnClose runs first, whatever the result
    }
    if (result != TDialogResult::Ok) {
        return;
    }
    amplitude = IntegerValue(s.OptionAmplitude);
    clip = s.DisableClipping ? TFormOptions::NoClipping : IntegerValue(s.OptionClip);
}

void ApplyStandard(const TFormOptions& dialog, TDialogResult result, TCidStandard& standard) {
    if (result == TDialogResult::Ok) {
        standard = dialog.Settings.Standard;
    }
}

void ShowSystemChoices(TFormOptions& dialog, const TConfigValues& config) {
    TOptionsSettings& s = dialog.Settings;
    s.Standard = config.Standard;
    s.EtsiAlert = config.EtsiAlert;
    s.DtmfFraming = config.DtmfFraming;
    s.DtmfUnavailableCode = config.DtmfCodes.Unavailable;
    s.DtmfPrivateCode = config.DtmfCodes.Private;
    if (config.DbmAtFullScale) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", *config.DbmAtFullScale);
        s.DbmAtFullScale = text;
    } else {
        s.DbmAtFullScale.clear();
    }
}

void ApplySystemChoices(const TFormOptions& dialog, TDialogResult result, TConfigValues& config) {
    if (result != TDialogResult::Ok) {
        return;
    }
    const TOptionsSettings& s = dialog.Settings;
    for (const Bytes& code : {s.DtmfUnavailableCode, s.DtmfPrivateCode}) {
        if (!IsDtmfAbsenceCode(code)) {
            throw RinglarkError(msg::NotAnAbsenceCode(code));
        }
    }
    std::optional<double> dbm;
    if (!s.DbmAtFullScale.empty()) {
        dbm = DecimalValue(s.DbmAtFullScale);
        if (!dbm) {
            throw RinglarkError(msg::NotValidNumber(s.DbmAtFullScale));
        }
    }
    ApplyStandard(dialog, result, config.Standard);
    config.EtsiAlert = s.EtsiAlert;
    config.DtmfFraming = s.DtmfFraming;
    config.DtmfCodes = {s.DtmfUnavailableCode, s.DtmfPrivateCode};
    config.DbmAtFullScale = dbm;
}

}  // namespace ringlark
