#include "app/OptionsModel.h"

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

}  // namespace ringlark
