#include "generation/workflow/GenerationDriver.h"

#include <gtest/gtest.h>

#include "core/RinglarkError.h"
#include "core/WavImage.h"
#include "generation/StandardsSynth.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::HexBytes;
using test::ReadFile;
using test::TTempDir;

// The main window as a script: the tab to read and a log of what the driver did.
class TScriptedHost : public IGenerationHost {
  public:
    TCidRequest Tab;
    TGenerationOptions Options;
    std::vector<std::string> Log;
    Bytes Status;
    std::optional<Bytes> Inspected;
    std::vector<std::string> PlayFailures;
    TOutputButtons Buttons;

    TCidRequest ReadCurrentTab() override {
        Log.push_back("read");
        return Tab;
    }
    TCidRequest PeekCurrentTab() override { return Tab; }
    TGenerationOptions CurrentOptions() override { return Options; }
    void BubbleMRU(TMruList list, const Bytes& entry) override {
        Log.push_back((list == TMruList::Numbers ? "number:" : "name:") + entry);
    }
    void WriteBackTypedTexts(const TCidRequest&) override { Log.push_back("write back"); }
    void SetStatusText(const Bytes& text) override {
        Status = text;
        Log.push_back("status");
    }
    void OutputButtonsChanged(const TOutputButtons& buttons) override {
        Buttons = buttons;
        Log.push_back(buttons.Play ? "enable" : "disable");
    }
    void PlayFailed(const std::string& reason) override { PlayFailures.push_back(reason); }
    void PrepareInspector() override { Log.push_back("prepare-inspector"); }
    void RefreshInspector(const Bytes& message) override {
        Inspected = message;
        Log.push_back("inspector");
    }
};

// Records the state of the window while the sound plays.
class TObservingSound : public ISoundPlayer {
  public:
    TObservingSound(TScriptedHost& host, TTickTimer& timer) : host_(host), timer_(timer) {}
    std::vector<Bytes> Played;
    std::vector<bool> TimerAttachedWhilePlaying;
    std::vector<TOutputButtons> ButtonsWhilePlaying;
    std::optional<std::string> Failure;

    std::optional<std::string> Play(const Bytes& image) override {
        Played.push_back(image);
        TimerAttachedWhilePlaying.push_back(timer_.Attached());
        ButtonsWhilePlaying.push_back(host_.Buttons);
        host_.Log.push_back("play");
        return Failure;
    }

  private:
    TScriptedHost& host_;
    TTickTimer& timer_;
};

class GenerationDriverTest : public ::testing::Test {
  protected:
    GenerationDriverTest() : sound(host, timer), driver(host, timer, sound, saveDialog, notices) {
        timer.SetHandler([this] { ++ticks; });
        UseSdmfTab("12-34");
    }

    void UseSdmfTab(const std::string& number) {
        host.Tab = {};
        host.Tab.Kind = TMessageKind::Sdmf;
        host.Tab.NumberText = number;
        host.Tab.DateText = "0101";
        host.Tab.TimeText = "1200";
    }
    void UseMdmfTab(TSignalling signalling) {
        UseSdmfTab("12-34");
        host.Tab.Kind = TMessageKind::Mdmf;
        host.Tab.NameText = "bob";
        host.Tab.Signalling = signalling;
    }
    void UseMiscTab(TMessageKind kind) {
        host.Tab = {};
        host.Tab.Kind = kind;
    }

    TScriptedHost host;
    TTickTimer timer;
    int ticks = 0;
    test::TScriptedFileDialog saveDialog;
    test::TScriptedNotices notices;
    TObservingSound sound;
    TGenerationDriver driver;
};

TEST_F(GenerationDriverTest, PlayRunsTheWholeSequence) {
    driver.PlayMessage();
    ASSERT_EQ(sound.Played.size(), 1u);
    EXPECT_EQ(sound.Played[0].size(), 23197u);
    EXPECT_EQ(host.Log, (std::vector<std::string>{"read", "number:12-34", "write back", "disable",
                                                  "status", "play", "inspector", "enable"}));
    EXPECT_EQ(host.Status, "..010112001234\xA1");
    EXPECT_EQ(*host.Inspected, HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1"));
    EXPECT_EQ(sound.TimerAttachedWhilePlaying, std::vector<bool>{false});
    EXPECT_EQ(sound.ButtonsWhilePlaying[0], (TOutputButtons{false, false, false}));
    EXPECT_TRUE(timer.Attached());
    EXPECT_EQ(driver.Buttons(), (TOutputButtons{true, true, true}));
}

TEST_F(GenerationDriverTest, StatusShowsTypeByteAsCharacter) {
    UseMiscTab(TMessageKind::VmwiOn);
    driver.GoButton(std::string(TGenerationDriver::InspectOnly));
    EXPECT_EQ(host.Status, "\x82...\xFFp");
}

TEST_F(GenerationDriverTest, InspectPreparesTheTableAndPlaysNothing) {
    driver.GoButton("\\\\\\INSPECT");
    EXPECT_TRUE(sound.Played.empty());
    EXPECT_EQ(host.Log.front(), "prepare-inspector");
    EXPECT_EQ(host.Log.back(), "enable");
    EXPECT_TRUE(host.Inspected.has_value());
    // An inspect synthesises the whole image: the next play starts one sample
    // shorter because the bit counter moved on by 450.
    EXPECT_EQ(driver.Synth().BitCounter(), 450);
    driver.PlayMessage();
    EXPECT_EQ(sound.Played[0].size(), 23196u);
}

TEST_F(GenerationDriverTest, InspectDestinationIsCaseSensitive) {
    TTempDir dir;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    driver.GoButton("\\\\\\inspect");
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(std::filesystem::exists(dir / "\\\\\\inspect"));
}

TEST_F(GenerationDriverTest, TwoPlaysDifferInSamples) {
    driver.PlayMessage();
    driver.PlayMessage();
    ASSERT_EQ(sound.Played.size(), 2u);
    EXPECT_EQ(sound.Played[0].size(), 23197u);
    EXPECT_EQ(sound.Played[1].size(), 23196u);
    EXPECT_NE(sound.Played[0].substr(44, 100), sound.Played[1].substr(44, 100));
}

TEST_F(GenerationDriverTest, OptionsReachTheSynthesiser) {
    host.Options.Clip = 0;
    driver.PlayMessage();
    const Bytes& image = sound.Played[0];
    EXPECT_EQ(image.find_first_not_of('\x80', 44), std::string::npos);
    host.Options.Filters.NoFiltering = true;
    driver.GoButton(std::string(TGenerationDriver::InspectOnly));
    EXPECT_EQ(host.Inspected->substr(10, 5), "12-34");
}

TEST_F(GenerationDriverTest, MruBubblingPerTab) {
    UseMdmfTab(TSignalling::OnHook);
    driver.GoButton(std::string(TGenerationDriver::InspectOnly));
    EXPECT_EQ(host.Log[2], "number:12-34");
    EXPECT_EQ(host.Log[3], "name:bob");
    EXPECT_EQ(host.Log[4], "write back");  // after both lists

    host.Log.clear();
    UseMiscTab(TMessageKind::Test);
    driver.GoButton(std::string(TGenerationDriver::InspectOnly));
    host.Tab.Workshop = true;
    driver.GoButton(std::string(TGenerationDriver::InspectOnly));
    for (const auto& entry : host.Log) {
        EXPECT_EQ(entry.find("number:"), std::string::npos);
        EXPECT_EQ(entry.find("name:"), std::string::npos);
    }
}

TEST_F(GenerationDriverTest, MiscFollowsLastSignalling) {
    UseMiscTab(TMessageKind::VmwiOn);
    driver.PlayMessage();
    EXPECT_EQ(driver.LastSignalling(), TSignalling::OnHook);
    EXPECT_EQ(sound.Played.back().size() - 44, 19845u);

    UseMdmfTab(TSignalling::CallWaiting);  // the CWCID tab
    driver.GoButton(std::string(TGenerationDriver::InspectOnly));
    EXPECT_EQ(driver.LastSignalling(), TSignalling::CallWaiting);

    UseMiscTab(TMessageKind::VmwiOff);
    host.Tab.Signalling = TSignalling::OnHook;  // the Misc. tab has no choice; ignored
    driver.PlayMessage();
    EXPECT_EQ(driver.LastSignalling(), TSignalling::CallWaiting);
    EXPECT_EQ(sound.Played.back().size() - 44, 31752u);

    UseSdmfTab("1");
    driver.GoButton(std::string(TGenerationDriver::InspectOnly));
    EXPECT_EQ(driver.LastSignalling(), TSignalling::OnHook);

    host.Tab = {};
    host.Tab.Workshop = true;
    host.Tab.Rows = {{"$0B", "\xFF"}};
    host.Tab.Signalling = TSignalling::CallWaiting;
    driver.GoButton(std::string(TGenerationDriver::InspectOnly));
    EXPECT_EQ(driver.LastSignalling(), TSignalling::CallWaiting);
}

TEST_F(GenerationDriverTest, PlayFailureIsReportedAndGenerationCompletes) {
    sound.Failure = "Sound could not be played: Device unavailable";
    driver.PlayMessage();
    EXPECT_EQ(host.PlayFailures,
              std::vector<std::string>{"Sound could not be played: Device unavailable"});
    EXPECT_TRUE(host.Inspected.has_value());
    EXPECT_TRUE(timer.Attached());
}

TEST_F(GenerationDriverTest, SaveWritesTheImageFile) {
    TTempDir dir;
    const auto path = (dir / "cid.wav").string();
    saveDialog.Answers = {path};
    driver.SaveMessageAs();
    const Bytes file = ReadFile(path);
    EXPECT_EQ(file.size(), 23197u);
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    ASSERT_EQ(saveDialog.Showings.size(), 1u);
    EXPECT_EQ(saveDialog.Showings[0].Title, "Save Caller ID Audio File");
    EXPECT_EQ(saveDialog.Showings[0].DefaultExt, ".WAV");
    EXPECT_EQ(saveDialog.Showings[0].Filter, "WAV Files (*.wav)|*.WAV|All Files (*.*)|*.*");
    EXPECT_TRUE(sound.Played.empty());
    EXPECT_TRUE(host.Inspected.has_value());
}

TEST_F(GenerationDriverTest, SaveDialogOffersTheLastNameAgain) {
    TTempDir dir;
    saveDialog.Answers = {(dir / "a.wav").string(), std::nullopt};
    driver.SaveMessageAs();
    saveDialog.Title = "Save Workshop Script";  // another user of the shared dialog
    saveDialog.Filter = "CID";
    driver.SaveMessageAs();
    EXPECT_EQ(saveDialog.Showings[1].FileName, (dir / "a.wav").string());
    EXPECT_EQ(saveDialog.Showings[1].Title, "Save Caller ID Audio File");
    EXPECT_EQ(saveDialog.Showings[1].Filter, "WAV Files (*.wav)|*.WAV|All Files (*.*)|*.*");
}

TEST_F(GenerationDriverTest, ExistingFileIsReplacedOnlyAfterYes) {
    TTempDir dir;
    const auto path = (dir / "script.CID").string();
    test::WriteFile(path, "$07=keep\r\n");
    saveDialog.Answers = {path};
    notices.Answers = {TDialogAnswer::Cancel};
    driver.SaveMessageAs();
    EXPECT_EQ(notices.Questions, std::vector<std::string>{"File " + path + " exists.  Replace?"});
    EXPECT_EQ(ReadFile(path), "$07=keep\r\n");
    EXPECT_FALSE(host.Inspected.has_value());

    const auto other = (dir / "other.wav").string();
    saveDialog.Answers = {path, other};
    notices.Answers = {TDialogAnswer::No};
    driver.SaveMessageAs();
    EXPECT_EQ(ReadFile(path), "$07=keep\r\n");
    EXPECT_EQ(ReadFile(other).size(), 23197u);

    saveDialog.Answers = {path};
    notices.Answers = {TDialogAnswer::Yes};
    driver.SaveMessageAs();
    EXPECT_EQ(ReadFile(path).substr(0, 4), "RIFF");
}

TEST_F(GenerationDriverTest, CancelledSaveChangesNothing) {
    saveDialog.Answers = {std::nullopt};
    driver.SaveMessageAs();
    EXPECT_TRUE(host.Log.empty());
    EXPECT_TRUE(host.Status.empty());
    EXPECT_FALSE(host.Inspected.has_value());
    EXPECT_EQ(driver.Synth().BitCounter(), 0);
}

TEST_F(GenerationDriverTest, FailedSaveRestoresButtonsAndTimerAndSkipsInspector) {
    TTempDir dir;
    const auto path = (dir / "missing" / "x.wav").string();
    saveDialog.Answers = {path};
    test::TRecordingErrors errors;
    RunHandler(errors, [&] { driver.SaveMessageAs(); });
    EXPECT_EQ(errors.Errors, std::vector<std::string>{"Cannot create file " + path +
                                                      ": No such file or directory"});
    EXPECT_FALSE(host.Inspected.has_value());
    EXPECT_TRUE(timer.Attached());
    EXPECT_EQ(host.Log.back(), "enable");
    EXPECT_EQ(driver.Buttons(), (TOutputButtons{true, true, true}));
    timer.Tick();
    EXPECT_EQ(ticks, 1);
    // The next generation works as usual.
    driver.PlayMessage();
    EXPECT_EQ(sound.Played.size(), 1u);
}

TEST_F(GenerationDriverTest, AWrappedLengthIsToldInTheStatusBar) {
    UseMdmfTab(TSignalling::OnHook);
    host.Tab.NameText = Bytes(250, 'A');
    driver.GoButton(std::string(TGenerationDriver::InspectOnly));
    const std::string note = "   [The message body is " +
                             std::to_string(host.Inspected->size() - 3) +
                             " bytes long; its length byte holds " +
                             std::to_string((host.Inspected->size() - 3) % 256) + "]";
    ASSERT_GT(host.Status.size(), note.size());
    EXPECT_EQ(host.Status.substr(host.Status.size() - note.size()), note);
    host.Tab.NameText = "bob";
    driver.GoButton(std::string(TGenerationDriver::InspectOnly));
    EXPECT_EQ(host.Status.find('['), std::string::npos);
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

TEST_F(GenerationDriverTest, OtherStandardsSendTheirOwnSignal) {
    UseMdmfTab(TSignalling::OnHook);
    host.Options.Standard = TCidStandard::EtsiV23;
    driver.PlayMessage();
    ASSERT_EQ(sound.Played.size(), 1u);
    const Bytes message = *host.Inspected;
    EXPECT_EQ(sound.Played[0],
              SynthesiseV23Image(
                  message, V23TimingFor(TCidStandard::EtsiV23, TSignalling::OnHook, false), 63));
    host.Options.Standard = TCidStandard::Dtmf;
    driver.PlayMessage();
    ASSERT_EQ(sound.Played.size(), 2u);
    EXPECT_EQ(host.Status,
              "A1234C   [DTMF sends only the number: the name, date and time are not sent]");
    EXPECT_EQ(sound.Played[1], SynthesiseDtmfImage("A1234C", 63));
    EXPECT_TRUE(notices.Notices.empty());
}

TEST_F(GenerationDriverTest, TheEtsiAlertDtmfFramingAndAbsenceCodesOptionsAreSent) {
    UseMdmfTab(TSignalling::OnHook);
    host.Options.Standard = TCidStandard::EtsiV23;
    host.Options.EtsiAlert = true;
    driver.PlayMessage();
    ASSERT_EQ(sound.Played.size(), 1u);
    EXPECT_EQ(
        sound.Played[0],
        SynthesiseV23Image(*host.Inspected,
                           V23TimingFor(TCidStandard::EtsiV23, TSignalling::OnHook, true), 63));
    host.Options.Standard = TCidStandard::Dtmf;
    host.Options.DtmfFraming = TDtmfFraming::StartAEndHash;
    host.Tab.NameText.clear();
    host.Tab.DateText.clear();
    host.Tab.TimeText.clear();
    driver.PlayMessage();
    EXPECT_EQ(host.Status, "A1234#");
    host.Options.DtmfFraming = TDtmfFraming::StartAEndC;
    host.Options.DtmfCodes = {"01", "02"};
    host.Tab.Private = true;
    driver.PlayMessage();
    EXPECT_EQ(host.Status, "B02C");
    EXPECT_EQ(sound.Played.back(), SynthesiseDtmfImage("B02C", 63));
}

TEST_F(GenerationDriverTest, DtmfSaysWhichFilledInFieldsItLeavesOut) {
    host.Options.Standard = TCidStandard::Dtmf;
    UseMdmfTab(TSignalling::OnHook);
    host.Tab.DateText.clear();
    driver.PlayMessage();
    EXPECT_EQ(host.Status, "A1234C   [DTMF sends only the number: the name and time are not sent]");
    host.Tab.NameDisabled = true;  // "No Name": nothing of it is left out
    driver.PlayMessage();
    EXPECT_EQ(host.Status, "A1234C   [DTMF sends only the number: the time is not sent]");
    host.Tab.TimeText.clear();
    driver.PlayMessage();
    EXPECT_EQ(host.Status, "A1234C");
    UseSdmfTab("12-34");  // the number-only tab: its date and time
    driver.PlayMessage();
    EXPECT_EQ(host.Status, "A1234C   [DTMF sends only the number: the date and time are not sent]");
    EXPECT_EQ(DroppedFieldsNotice(host.Tab, TCidStandard::EtsiV23), std::nullopt);
}

TEST_F(GenerationDriverTest, ARefusedMessageIsToldBeforeTheSaveDialogAsksForAName) {
    host.Options.Standard = TCidStandard::Dtmf;
    for (TMessageKind kind : {TMessageKind::VmwiOn, TMessageKind::VmwiOff, TMessageKind::Test}) {
        UseMiscTab(kind);
        saveDialog.Answers = {std::string("never-asked.wav")};
        driver.SaveMessageAs();
        EXPECT_TRUE(saveDialog.Showings.empty());
    }
    ASSERT_EQ(notices.Notices.size(), 3u);
    EXPECT_EQ(notices.Notices[0].substr(0, 38), "DTMF caller ID carries only a number: ");
    EXPECT_TRUE(host.Log.empty());  // nothing read, remembered or generated
    EXPECT_TRUE(sound.Played.empty());
}

TEST_F(GenerationDriverTest, AMessageAStandardCannotSendIsRefusedWithANotice) {
    host.Options.Standard = TCidStandard::Bt;
    driver.PlayMessage();  // the SDMF tab
    EXPECT_TRUE(sound.Played.empty());
    ASSERT_EQ(notices.Notices.size(), 1u);
    EXPECT_EQ(notices.Notices[0],
              "This message is sent only with Bell 202; BT (United Kingdom) sends MDMF-style "
              "messages. Choose Bell 202 under Options, Preferences to send it.");
    EXPECT_EQ(driver.Buttons(), (TOutputButtons{true, true, true}));
    host.Options.Standard = TCidStandard::Dtmf;
    for (TMessageKind kind : {TMessageKind::VmwiOn, TMessageKind::Test}) {
        UseMiscTab(kind);
        driver.PlayMessage();
    }
    EXPECT_TRUE(sound.Played.empty());
    ASSERT_EQ(notices.Notices.size(), 3u);
    EXPECT_EQ(notices.Notices[2].substr(0, 38), "DTMF caller ID carries only a number: ");
}

// The peak of an 8-bit image's samples, as steps from the middle (128).
int PeakSteps(const Bytes& image) {
    int peak = 0;
    for (std::size_t i = WavHeaderSize; i < image.size(); ++i) {
        peak = std::max(peak, std::abs(static_cast<uint8_t>(image[i]) - 128));
    }
    return peak;
}

TEST_F(GenerationDriverTest, TestSignalImpairmentsChangeTheSignalOnlyWhenOneIsSet) {
    UseMdmfTab(TSignalling::OnHook);
    host.Options.Standard = TCidStandard::Dtmf;
    host.Options.TestSignal = TImpairments{};  // as the desktop sends them by default
    driver.PlayMessage();
    ASSERT_EQ(sound.Played.size(), 1u);
    EXPECT_EQ(sound.Played[0], SynthesiseDtmfImage("A1234C", 63));
    // DTMF tones 20 dB below full scale (row tone; the column tone at 0 dB
    // twist): the two together peak at about 2 x 12.8 steps
    host.Options.TestSignal.LevelDbfs = -20;
    driver.PlayMessage();
    ASSERT_EQ(sound.Played.size(), 2u);
    EXPECT_EQ(ReadWavFields(sound.Played[1]).SampleRate, 44100u);
    EXPECT_NEAR(PeakSteps(sound.Played[1]), 25.6, 1.5);
    EXPECT_EQ(host.Status,
              "A1234C   [DTMF sends only the number: the name, date and time are not sent]");
    // Bell 202 at -12 dBFS: 128 x 0.251 = 32 steps
    host.Options.Standard = TCidStandard::Bell202;
    host.Options.TestSignal.LevelDbfs = -12;
    driver.PlayMessage();
    ASSERT_EQ(sound.Played.size(), 3u);
    EXPECT_NEAR(PeakSteps(sound.Played[2]), 32.1, 1.0);
    // a setting that does not fit the signal is an error; the buttons return
    host.Options.TestSignal.LevelDbfs = 0;
    host.Options.TestSignal.TwistDb = -20;
    try {
        driver.PlayMessage();
        ADD_FAILURE() << "nothing thrown";
    } catch (const RinglarkError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("The level and twist put ", 0), 0u) << e.what();
    }
    EXPECT_EQ(sound.Played.size(), 3u);
    EXPECT_EQ(driver.Buttons(), (TOutputButtons{true, true, true}));
}

}  // namespace
}  // namespace ringlark
