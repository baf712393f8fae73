#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "core/Services.h"
#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "protocol/Standards.h"
#include "testsignal/Impairments.h"

namespace ringlark {

enum class TMruList { Numbers, Names };

// Why a standard cannot send the message a tab asks for (SDMF and the test
// message are Bell 202 only; DTMF carries only a number), if it cannot.
std::optional<std::string> StandardRefusal(const TCidRequest& request, TCidStandard standard);

// What a standard leaves out of what the tab asked for, said after the status
// text: "   [DTMF sends only the number: the name, date and time are not sent]"
// (naming only the fields that were filled in); nothing when all is sent.
std::optional<std::string> DroppedFieldsNotice(const TCidRequest& request, TCidStandard standard);

// Option values read at each generation.
struct TGenerationOptions {
    TFilterOptions Filters;
    int32_t Amplitude = 63;
    int32_t Clip = 63;
    TCidStandard Standard = TCidStandard::Bell202;
    bool EtsiAlert = false;  // ETSI sends DT-AS before on-hook data (BT always does)
    TDtmfFraming DtmfFraming = TDtmfFraming::StartAEndC;
    TDtmfAbsenceCodes DtmfCodes;
    // Any set: the signal is made by the test-signal synthesiser with these
    // impairments (8-bit, 44100/s, the clip level not applied); none set: the
    // generators' own signal, as always.
    TImpairments TestSignal;
};

// Enabled states of the three output buttons; the window mirrors them.
struct TOutputButtons {
    bool Save = true;
    bool Play = true;
    bool Inspect = true;
    bool operator==(const TOutputButtons&) const = default;
};

// The main window as the generation driver sees it.
class IGenerationHost {
  public:
    virtual ~IGenerationHost() = default;
    // The caller-ID tab currently shown, read into a request.
    virtual TCidRequest ReadCurrentTab() = 0;
    // The same request, read without any of the reading's effects (nothing
    // remembered): what a refusal before the save dialog looks at.
    virtual TCidRequest PeekCurrentTab() = 0;
    virtual TGenerationOptions CurrentOptions() = 0;
    // Puts the raw, unfiltered entry at the front of a recently-used list.
    virtual void BubbleMRU(TMruList list, const Bytes& entry) = 0;
    // After both lists are bubbled: the typed texts go back into the boxes of
    // the tab generated from (an empty text stays empty).
    virtual void WriteBackTypedTexts(const TCidRequest& request) = 0;
    // Panel 0 of the status bar, repainted at once so that it shows while playing.
    virtual void SetStatusText(const Bytes& text) = 0;
    virtual void OutputButtonsChanged(const TOutputButtons& buttons) = 0;
    // The sound could not be played; the generation still completes.
    virtual void PlayFailed(const std::string& reason) = 0;
    // Inspect resets the inspector grid to 200 empty rows before generating.
    virtual void PrepareInspector() = 0;
    // Every completed generation refreshes the inspector with its message.
    virtual void RefreshInspector(const Bytes& message) = 0;
};

// The signalling a request is sent with. The Misc. tab has no choice of its own:
// its VMWI and test messages follow the signalling of the previous generation.
bool FollowsLastSignalling(const TCidRequest& request);

// The single operation behind Play, Save and Inspect.
class TGenerationDriver {
  public:
    // "\\\INSPECT": generate and inspect only, nothing is played or written.
    static constexpr std::string_view InspectOnly = "\\\\\\INSPECT";

    static constexpr std::string_view SaveTitle = "Save Caller ID Audio File";
    static constexpr std::string_view SaveDefaultExt = ".WAV";
    static constexpr std::string_view SaveFilter = "WAV Files (*.wav)|*.WAV|All Files (*.*)|*.*";

    TGenerationDriver(IGenerationHost& host, TTickTimer& timer, ISoundPlayer& sound,
                      IFileDialog& saveDialog, INotices& notices);

    // Empty destination: play; InspectOnly: inspect; anything else: the WAV path.
    // Throws RinglarkError when the file cannot be written; the buttons, the timer
    // and the stream are restored first.
    void GoButton(const std::string& destination);

    void PlayMessage() { GoButton(""); }
    void ButtonPlayClick() { PlayMessage(); }
    // The save action: asks for a path, then generates into it (a message the
    // standard cannot send is refused before the dialog opens). The dialog is
    // shared with the workshop's script save and offers the last name again, so
    // an existing file is replaced only when the user says Yes; No asks for
    // another name, Cancel ends the save.
    void SaveMessageAs();
    void ButtonSaveClick() { SaveMessageAs(); }

    TSignalling LastSignalling() const { return lastSignalling_; }
    const TFskSynth& Synth() const { return synth_; }
    const TOutputButtons& Buttons() const { return buttons_; }

  private:
    void SetButtons(bool enabled);

    IGenerationHost& host_;
    TTickTimer& timer_;
    ISoundPlayer& sound_;
    IFileDialog& saveDialog_;
    INotices& notices_;
    TSignalling lastSignalling_ = TSignalling::OnHook;
    TFskSynth synth_;
    TOutputButtons buttons_;
};

}  // namespace ringlark
