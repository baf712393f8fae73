#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/Config.h"
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
    // How the systems other than Bell 202 are sent, and the dBm calibration:
    // "ETSI alert" (DT-AS before on-hook data, or none), "DTMF framing", the
    // DTMF absence codes (two digits each), "dBm at full scale" (a number, or
    // empty for none).
    bool EtsiAlert = false;
    TDtmfFraming DtmfFraming = TDtmfFraming::StartAEndC;
    Bytes DtmfUnavailableCode = "00";
    Bytes DtmfPrivateCode = "10";
    Bytes DbmAtFullScale;
};

// The choices of the "ETSI alert" and "DTMF framing" boxes, in their order.
inline constexpr std::array<std::string_view, 2> EtsiAlertChoices = {"None",
                                                                     "DT-AS before the data"};
inline constexpr std::array<std::pair<TDtmfFraming, std::string_view>, 4> DtmfFramingChoices = {{
    {TDtmfFraming::StartAEndC, "A<number>C, absent B<code>C"},
    {TDtmfFraming::StartAEndHash, "A<number>#, absent D1# D2# D3#"},
    {TDtmfFraming::StartDEndC, "D<number>C"},
    {TDtmfFraming::EndHash, "<number>#"},
}};

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

// The dialog shows the system choices in force.
void ShowSystemChoices(TFormOptions& dialog, const TConfigValues& config);
// The standard and how the systems are sent, taken when the result is OK.
// Throws RinglarkError ("'%s' is not a two-digit absence code", "'%s' is not a
// valid number") before anything is taken when a text cannot be read.
void ApplySystemChoices(const TFormOptions& dialog, TDialogResult result, TConfigValues& config);

}  // namespace ringlark
