#include "generation/workflow/GenerationDriver.h"

#include "core/FileWriting.h"
#include "core/WavImage.h"
#include "generation/StandardsSynth.h"
#include "testsignal/TestSignal.h"

namespace ringlark {

namespace {

// Undoes what a generation changed outside itself, also when it ends in an error.
class TRestoreOnExit {
  public:
    TRestoreOnExit(std::function<void()> restore) : restore_(std::move(restore)) {}
    ~TRestoreOnExit() { restore_(); }
    TRestoreOnExit(const TRestoreOnExit&) = delete;
    TRestoreOnExit& operator=(const TRestoreOnExit&) = delete;

  private:
    std::function<void()> restore_;
};

bool IsMiscKind(TMessageKind kind) {
    return kind == TMessageKind::VmwiOn || kind == TMessageKind::VmwiOff ||
           kind == TMessageKind::Test;
}

}  // namespace

std::optional<std::string> StandardRefusal(const TCidRequest& request, TCidStandard standard) {
    const bool bellOnly = !request.Workshop && (request.Kind == TMessageKind::Sdmf ||
                                                request.Kind == TMessageKind::Test);
    if ((standard == TCidStandard::EtsiV23 || standard == TCidStandard::Bt) && bellOnly) {
        return "This message is sent only with Bell 202; " + std::string(StandardTitle(standard)) +
               " sends MDMF-style messages. Choose Bell 202 under Options, Preferences to send it.";
    }
    const bool numberOnly = !request.Workshop && (request.Kind == TMessageKind::Sdmf ||
                                                  request.Kind == TMessageKind::Mdmf);
    if (standard == TCidStandard::Dtmf && !numberOnly) {
        return std::string(
            "DTMF caller ID carries only a number: this message cannot be sent "
            "with DTMF. Choose another standard under Options, Preferences to "
            "send it.");
    }
    return std::nullopt;
}

std::optional<std::string> DroppedFieldsNotice(const TCidRequest& request, TCidStandard standard) {
    if (standard != TCidStandard::Dtmf || request.Workshop) {
        return std::nullopt;
    }
    std::vector<std::string> dropped;
    if (request.Kind == TMessageKind::Mdmf && !request.NameDisabled && !request.NameText.empty()) {
        dropped.push_back("name");
    }
    if (!request.DateText.empty()) {
        dropped.push_back("date");
    }
    if (!request.TimeText.empty()) {
        dropped.push_back("time");
    }
    if (dropped.empty()) {
        return std::nullopt;
    }
    std::string fields = "the " + dropped[0];
    for (std::size_t i = 1; i < dropped.size(); ++i) {
        fields += (i + 1 == dropped.size() ? " and " : ", ") + dropped[i];
    }
    return "   [DTMF sends only the number: " + fields + (dropped.size() == 1 ? " is" : " are") +
           " not sent]";
}

bool FollowsLastSignalling(const TCidRequest& request) {
    return !request.Workshop && IsMiscKind(request.Kind);
}

TGenerationDriver::TGenerationDriver(IGenerationHost& host, TTickTimer& timer, ISoundPlayer& sound,
                                     IFileDialog& saveDialog, INotices& notices)
    : host_(host), timer_(timer), sound_(sound), saveDialog_(saveDialog), notices_(notices) {}

void TGenerationDriver::SetButtons(bool enabled) {
    buttons_ = {enabled, enabled, enabled};
    host_.OutputButtonsChanged(buttons_);
}

void TGenerationDriver::GoButton(const std::string& destination) {
    const bool inspectOnly = destination == InspectOnly;
    if (inspectOnly) {
        host_.PrepareInspector();
    }
    const TCidRequest request = host_.ReadCurrentTab();
    if (!request.Workshop && !IsMiscKind(request.Kind)) {
        host_.BubbleMRU(TMruList::Numbers, request.NumberText);
        if (request.Kind == TMessageKind::Mdmf) {
            host_.BubbleMRU(TMruList::Names, request.NameText);
        }
        host_.WriteBackTypedTexts(request);
    }
    if (!FollowsLastSignalling(request)) {
        lastSignalling_ = request.Signalling;
    }
    const TGenerationOptions options = host_.CurrentOptions();
    if (const auto refusal = StandardRefusal(request, options.Standard)) {
        notices_.ShowNotice(*refusal);
        return;
    }

    bool timerDetached = false;
    SetButtons(false);
    TRestoreOnExit restore([&] {
        if (timerDetached) {
            timer_.Reattach();
        }
        SetButtons(true);
    });

    const Bytes message = BuildCidMessage(request, options.Filters);
    Bytes status = PrintableText(message);
    if (const auto wrapped = LengthWrapNotice(message)) {
        status += "   [" + *wrapped + "]";  // the length byte holds less than was sent
    }
    host_.SetStatusText(status);

    synth_.Amplitude = options.Amplitude;
    synth_.Clip = options.Clip;
    Bytes image;
    if (options.Standard == TCidStandard::Bell202) {
        image = SynthesiseImage(synth_, message, lastSignalling_);
    } else if (options.Standard == TCidStandard::Dtmf) {
        const std::string digits = DtmfDigits(request.NumberText, request.Private,
                                              request.OutOfArea || request.NumberDisabled,
                                              options.DtmfFraming, options.DtmfCodes);
        host_.SetStatusText(digits + DroppedFieldsNotice(request, options.Standard).value_or(""));
        image = SynthesiseDtmfImage(digits, options.Amplitude);
    } else {
        image = SynthesiseV23Image(
            message,
            V23TimingFor(options.Standard, lastSignalling_,
                         options.Standard == TCidStandard::Bt || options.EtsiAlert),
            options.Amplitude);
    }

    if (options.TestSignal.Any()) {
        TTestSignal signal;
        signal.Standard = options.Standard;
        signal.Signalling = lastSignalling_;
        signal.Alert = options.Standard == TCidStandard::Bt || options.EtsiAlert;
        signal.Message = message;
        if (options.Standard == TCidStandard::Dtmf) {
            signal.Digits = DtmfDigits(request.NumberText, request.Private,
                                       request.OutOfArea || request.NumberDisabled,
                                       options.DtmfFraming, options.DtmfCodes);
        }
        signal.Amplitude = options.Amplitude;
        signal.Impairments = options.TestSignal;
        signal.Rate = SampleRate;
        image = EncodeWav(SynthesiseTestSignal(signal), SampleRate, TSampleFormat::U8);
    }

    timer_.Detach();
    timerDetached = true;
    if (destination.empty()) {
        if (auto failure = sound_.Play(image)) {
            host_.PlayFailed(*failure);
        }
    } else if (!inspectOnly) {
        SaveImageToFile(destination, image);
    }
    host_.RefreshInspector(message);
}

void TGenerationDriver::SaveMessageAs() {
    // The dialog is shared with the workshop's save, so these are set every time.
    saveDialog_.Title = SaveTitle;
    saveDialog_.DefaultExt = SaveDefaultExt;
    saveDialog_.Filter = SaveFilter;
    if (const auto refusal =
            StandardRefusal(host_.PeekCurrentTab(), host_.CurrentOptions().Standard)) {
        notices_.ShowNotice(*refusal);
        return;
    }
    while (saveDialog_.Execute()) {
        const std::string path = saveDialog_.FileName;
        if (FileExists(path)) {
            const TDialogAnswer answer =
                notices_.AskYesNoCancel("File " + path + " exists.  Replace?");
            if (answer == TDialogAnswer::No) {
                continue;
            }
            if (answer == TDialogAnswer::Cancel) {
                return;
            }
        }
        GoButton(path);
        return;
    }
}

}  // namespace ringlark
