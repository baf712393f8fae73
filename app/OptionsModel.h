#pragma once

#include <cstdint>
#include <string>

#include "core/Bytes.h"
#include "generation/MessageBuilder.h"
#include "protocol/Standards.h"

namespace ringlark {

enum class TOptionsBox { DisableClipping, AlphaOnly, ForceUppercaseName, NoFiltering };
enum class TDialogResult { Ok, Cancel };

// The options dialog's controls.
struct TOptionsSettings {
    Bytes OptionAmplitude;
    Bytes OptionClip;
    bool OptionClipEnabled = false;
    bool DisableClipping = true;
    bool AlphaOnly = false;
    bool ForceUppercaseName = true;
    bool NoFiltering = false;
    TCidStandard Standard = TCidStandard::Bell202;  // the "Standard" choice
};

// TFormOptions: its controls and the rules between them. The dialog is created
// once and keeps its controls between showings.
class TFormOptions {
  public:
    static constexpr std::string_view Caption = "Options";
    static constexpr std::string_view AudioGroupCaption = "   Audio Parameters   ";
    static constexpr std::string_view FilteringGroupCaption = "   Character Filtering   ";
    static constexpr std::string_view RangeLabel = "(0...127)";
    static constexpr int32_t NoClipping = 128;

    // The edits show the values in force. "Disable Clipping" is
    // checked exactly when the clip level in force is 128 or more, so that
    // opening the dialog and pressing Cancel keeps the user's clip level.
    void Initialise(int32_t amplitude, int32_t clip);
    void FormCreate(int32_t amplitude, int32_t clip) { Initialise(amplitude, clip); }

    TOptionsSettings Settings;

    // A user click on a box: it toggles, then its rule runs.
    void Click(TOptionsBox box);
    void SetChecked(TOptionsBox box, bool checked);

    TFilterOptions Filters() const;

  private:
    bool& Box(TOptionsBox box);
    void RunRule(TOptionsBox box);
};

// What the dialog's closing does to the audio values: SaveConfigOnClose first, then the
// edits when the result is OK. Throws RinglarkError "'%s' is not a valid integer
// value" for a text that is not an integer; assignments made before it stay.
void ApplyOptions(const TFormOptions& dialog, TDialogResult result, int32_t& amplitude,
                  int32_t& clip);
// The standard chosen, taken when the result is OK (after the audio values).
void ApplyStandard(const TFormOptions& dialog, TDialogResult result, TCidStandard& standard);

}  // namespace ringlark
