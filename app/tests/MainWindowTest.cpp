#include "app/MainWindowModel.h"
#include "app/RegistryFile.h"
#include "core/NullServices.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <functional>

#include "app/Application.h"
#include "app/tests/AppTestSupport.h"
#include "core/RinglarkError.h"
#include "core/WavImage.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

class TScriptedHost : public IMainWindowHost {
  public:
    int InspectorShown = 0;
    int Closed = 0;
    int StatusRepaints = 0;
    std::vector<std::string> HelpShown;
    std::function<TDialogResult()> OptionsAnswer = [] { return TDialogResult::Cancel; };
    void ShowInspectorModal() override { ++InspectorShown; }
    TDialogResult ShowOptionsModal() override { return OptionsAnswer(); }
    void CloseMainWindow() override { ++Closed; }
    void ShowHelpContents(const std::string& helpFile) override { HelpShown.push_back(helpFile); }
    std::string ExecutableFolder() override { return "/opt/ringlark/bin"; }
    void RepaintStatusBar() override { ++StatusRepaints; }
};

class TRecordingShell : public IShell {
  public:
    std::vector<std::string> Opened;
    void Open(const std::string& target) override { Opened.push_back(target); }
};

class TNoDialog : public IParameterDialog {
  public:
    bool Execute() override { return false; }
};

class TFixedMetrics : public ITextMetrics {
  public:
    int TextWidth(std::string_view text) override { return static_cast<int>(text.size()) * 7; }
};

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest()
        : app(TMainServices{host, errors, notices, saveDialog, openDialog, timer, sound, store,
                            shell, clock, editParameter, viewerOpenDialog, progress}),
          form(app.MainModel) {}

    void Start() {
        app.Start();
        form.ShowFirstTime();
    }

    TScriptedHost host;
    test::TRecordingErrors errors;
    test::TScriptedNotices notices;
    test::TScriptedFileDialog saveDialog;
    test::TScriptedFileDialog openDialog;
    TTickTimer timer;
    test::TRecordingSound sound;
    test::TMemoryStore store;
    TRecordingShell shell;
    test::TFixedClock clock;
    TNoDialog editParameter;
    test::TScriptedFileDialog viewerOpenDialog;
    TNoProgress progress;
    TRinglarkApplication app;
    TMainWindowModel& form;
};

TEST_F(MainWindowTest, StartSequence) {
    Start();
    EXPECT_EQ(app.Title, "Ringlark");
    EXPECT_EQ(form.Caption, "Ringlark");
    EXPECT_EQ(form.Page, TPage::Mdmf);
    EXPECT_EQ(form.Commands, TMainCommands{});
    EXPECT_EQ(form.Tabs.Mdmf.DateText, "1207");
    EXPECT_EQ(form.Tabs.Cwcid.TimeText, "0930");
    EXPECT_EQ(form.Tabs.Mdmf.NumberText, "");  // first run: empty lists
    EXPECT_EQ(form.Inspector.Rows.size(), 99u);
    EXPECT_EQ(store.Saves, 1);
    timer.Tick();
    EXPECT_TRUE(errors.Errors.empty());
}

TEST_F(MainWindowTest, StoredValuesSurviveARestart) {
    TConfigValues stored;
    stored.NumberMRU[0] = "555-0100";
    stored.NameMRU[0] = "Ann";
    stored.AnalystMRU = {"", "/tmp/b.wav"};
    stored.Amplitude = 90;
    stored.Clip = 128;
    store.Document = ConfigDocument(stored);
    Start();
    EXPECT_EQ(form.Config.Amplitude, 90);
    EXPECT_EQ(form.Config.Clip, 128);
    EXPECT_EQ(app.FormOptions.Settings.OptionAmplitude, "90");
    EXPECT_TRUE(app.FormOptions.Settings.DisableClipping);
    EXPECT_EQ(form.Tabs.Sdmf.NumberText, "555-0100");
    EXPECT_EQ(form.Tabs.Cwcid.NameText, "Ann");
    EXPECT_EQ(form.AnalystFileText, "");  // position 1 empty: the box stays empty
    EXPECT_EQ(form.AnalystItems.Items, std::vector<Bytes>{"/tmp/b.wav"});
}

TEST_F(MainWindowTest, BadStoredValueIsReportedAndStartUpCompletes) {
    TConfigValues stored;
    stored.NumberMRU[0] = "555";
    store.Document = ConfigDocument(stored);
    store.Document->Keys.back().second.Values.front().second = TRegValue{TRegType::String, "63", 0};
    Start();
    EXPECT_EQ(errors.Errors, std::vector<std::string>{"Invalid data type for 'Amplitude'"});
    EXPECT_EQ(form.Config.Amplitude, 63);
    EXPECT_EQ(form.Tabs.Mdmf.NumberText, "555");
    form.PlayMessage();
    ASSERT_EQ(sound.Played.size(), 1u);
    EXPECT_NE(sound.Played[0].find_first_not_of('\x80', 44), std::string::npos);  // not silent
}

TEST_F(MainWindowTest, AboutPageAndQuit) {
    Start();
    form.ChangePage(TPage::Misc);
    form.ShowAbout();
    EXPECT_TRUE(form.AboutVisible);
    EXPECT_EQ(form.Page, TPage::About);
    EXPECT_EQ(form.About.TabCaption, "About Ringlark");
    EXPECT_EQ(form.Commands, (TMainCommands{false, false, false, false, false, false, false}));
    form.ShowSupport();
    EXPECT_EQ(form.About.TabCaption, "Contact/Support");
    EXPECT_TRUE(form.About.Lines[1].Underlined);
    form.ShowAbout();
    EXPECT_FALSE(form.About.Lines[1].Underlined);
    EXPECT_EQ(form.About.Lines[1].Action, TLineAction::None);
    EXPECT_EQ(form.About.Lines[1].Text, "Version 1.3.1 Build 037");
    form.QuitProgram();
    EXPECT_EQ(form.Page, TPage::Mdmf);
    EXPECT_FALSE(form.AboutVisible);
    EXPECT_EQ(host.Closed, 0);
    form.QuitProgram();
    EXPECT_EQ(host.Closed, 1);
}

TEST_F(MainWindowTest, SupportLinksGoThroughTheShell) {
    Start();
    form.ShowSupport();
    EXPECT_EQ(form.About.Lines[1].Color, (TColor{166, 202, 240}));
    EXPECT_EQ(form.About.Lines[3].Color, (TColor{128, 128, 255}));
    EXPECT_EQ(form.About.Lines[1].Cursor, TCursor::Hand);
    form.OpenAboutLine(1);
    form.OpenAboutLine(2);
    ASSERT_EQ(shell.Opened.size(), 2u);
    EXPECT_EQ(shell.Opened[0],
              "mailto:support@ringlark.invalid?subject=Ringlark%20Support%20Inquiry");
    EXPECT_LE(shell.Opened[0].size(), 79u);
    EXPECT_EQ(shell.Opened[1], "https://ringlark.invalid/support");
    for (const auto& line : form.About.Lines) {
        EXPECT_LE(line.Text.size(), 79u);
    }
    ShellOpen(shell, std::string(100, 'x'));
    EXPECT_EQ(shell.Opened.back().size(), 79u);
}

TEST_F(MainWindowTest, HelpFileBesideTheExecutable) {
    Start();
    form.ShowHelp();
    EXPECT_EQ(host.HelpShown, std::vector<std::string>{"/opt/ringlark/bin/RINGLARK.HLP"});
}

TEST_F(MainWindowTest, InspectOnAnalystTabShowsTheLastAnalysis) {
    Start();
    form.ChangePage(TPage::Analyst);
    form.InspectMessage();
    EXPECT_EQ(host.InspectorShown, 1);
    EXPECT_EQ(form.Inspector.Rows.size(), 99u);
    EXPECT_EQ(form.Driver().Synth().BitCounter(), 0);
    form.Analyst.AnalystInspectText = test::HexBytes("82 03 0B 01 FF 70");
    form.InspectMessage();
    EXPECT_EQ(form.Inspector.Rows.size(), 6u);
    EXPECT_EQ(form.Inspector.Rows[4].Notes(), "VMWI Status: On");
    form.Analyst.ClearResults();  // "Clear"
    form.InspectMessage();
    EXPECT_EQ(form.Inspector.Rows.size(), 199u);
    EXPECT_TRUE(form.Inspector.Rows[0].Notes().empty());
}

TEST_F(MainWindowTest, AnalyzeBubblesTheFileIntoTheAnalystList) {
    Start();
    test::TTempDir dir;
    TFskSynth synth;
    const auto path = (dir / "rec.wav").string();
    SaveImageToFile(
        path, SynthesiseImage(synth, test::HexBytes("82 03 0B 01 FF 70"), TSignalling::OnHook));
    form.ChangePage(TPage::Analyst);
    form.AnalystFileText = path;
    form.Analyst.AnalyzeRecording();
    EXPECT_EQ(form.Config.AnalystMRU[0], path);
    EXPECT_EQ(form.AnalystItems.Items, std::vector<Bytes>{path});
    EXPECT_EQ(form.Analyst.Report[0], "Here is what I decoded:");
    form.InspectMessage();
    EXPECT_EQ(form.Inspector.Rows[0].Notes(), "Message Type $82 - VMWI");
}

TEST_F(MainWindowTest, InspectOnACallerIdTabGeneratesTheCurrentFields) {
    Start();
    form.Tabs.Mdmf.NumberText = "12-34";
    form.Tabs.Mdmf.NameText = "bob";
    form.Tabs.Mdmf.UseCurrent = false;
    form.Tabs.Mdmf.DateText = "0101";
    form.Tabs.Mdmf.TimeText = "1200";
    form.InspectMessage();
    EXPECT_EQ(host.InspectorShown, 1);
    EXPECT_EQ(form.Inspector.Rows.size(), 24u);
    EXPECT_EQ(form.StatusText, "\x80...01011200..1234..BOB0");
    EXPECT_TRUE(sound.Played.empty());
}

TEST_F(MainWindowTest, GenerationBubblesAndRefillsEveryBox) {
    Start();
    form.Tabs.Sdmf.NumberText = "typed but not used";
    form.Tabs.Mdmf.NumberText = "800-555-1212";
    form.Tabs.Mdmf.NameText = "John Doe";
    form.PlayMessage();
    EXPECT_EQ(form.Config.NumberMRU[0], "800-555-1212");
    EXPECT_EQ(form.Config.NameMRU[0], "John Doe");
    EXPECT_EQ(form.Tabs.Sdmf.NumberText, "800-555-1212");
    EXPECT_EQ(form.Tabs.Cwcid.NameText, "John Doe");
    EXPECT_EQ(form.NumberItems.Items, std::vector<Bytes>{"800-555-1212"});
    form.Tabs.Mdmf.NameText = "";
    form.PlayMessage();
    EXPECT_EQ(form.Tabs.Mdmf.NameText, "");  // the typed (empty) name is written back
    EXPECT_EQ(form.Tabs.Cwcid.NameText, "John Doe");
}

// A cleared number stays cleared when the name list is refreshed after it.
TEST_F(MainWindowTest, ClearedNumberDoesNotComeBack) {
    Start();
    for (TTabId id : {TTabId::Mdmf, TTabId::Cwcid}) {
        form.ChangePage(id == TTabId::Mdmf ? TPage::Mdmf : TPage::Cwcid);
        form.Tabs.Tab(id).NumberText = "555-0100";
        form.Tabs.Tab(id).NameText = "Ann";
        form.PlayMessage();
        form.Tabs.Tab(id).NumberText = "";
        form.Tabs.Tab(id).NameText = "Bob";
        form.PlayMessage();
        EXPECT_EQ(form.Tabs.Tab(id).NumberText, "");
        EXPECT_EQ(form.Tabs.Tab(id).NameText, "Bob");
        // and the generation sent no number
        EXPECT_EQ(form.Inspector.RawStream.find("555"), Bytes::npos) << form.Inspector.RawStream;
    }
}

TEST_F(MainWindowTest, GenerationOverwritesRememberedFlags) {
    Start();
    form.Tabs.Click(TTabId::Cwcid, TTabBox::OutOfArea);
    form.Tabs.Click(TTabId::Cwcid, TTabBox::LongDistance);
    form.ChangePage(TPage::Sdmf);
    form.PlayMessage();
    EXPECT_FALSE(form.Tabs.RememberedOutOfArea);
    EXPECT_FALSE(form.Tabs.RememberedLongDistance);
    form.Tabs.Click(TTabId::Mdmf, TTabBox::NumberDisabled);
    EXPECT_TRUE(form.Tabs.Cwcid.LongDistance);
}

TEST_F(MainWindowTest, MiscTabLastCheckedChoiceWins) {
    Start();
    form.ChangePage(TPage::Misc);
    form.Tabs.ClickMisc(TMiscChoice::TestMessage);
    EXPECT_EQ(form.ReadCurrentTab().Kind, TMessageKind::Test);
    form.Tabs.VmwiOn = true;  // never both through the rules, but the order decides
    EXPECT_EQ(form.ReadCurrentTab().Kind, TMessageKind::Test);
}

TEST_F(MainWindowTest, CloseSavesAndAFailedSaveStillCloses) {
    Start();
    form.Config.NumberMRU[0] = "kept";
    form.SaveConfigOnClose();
    EXPECT_EQ(store.Document->FindKey("HKEY_LOCAL_MACHINE\\Software\\Ringlark\\NumberMRU")
                  ->Find("1")
                  ->Text,
              "kept");
    store.Writable = false;
    form.SaveConfigOnClose();
    EXPECT_EQ(errors.Errors, std::vector<std::string>{"Failed to set data for '1'"});
}

TEST_F(MainWindowTest, OptionsApplyAndBadTextIsReported) {
    Start();
    host.OptionsAnswer = [&] {
        app.FormOptions.Settings.OptionAmplitude = "100";
        app.FormOptions.Click(TOptionsBox::DisableClipping);
        return TDialogResult::Ok;
    };
    form.ShowOptions();
    EXPECT_EQ(form.Config.Amplitude, 100);
    EXPECT_EQ(form.Config.Clip, 128);
    host.OptionsAnswer = [&] {
        app.FormOptions.Click(TOptionsBox::DisableClipping);
        app.FormOptions.Settings.OptionClip = "abc";
        return TDialogResult::Ok;
    };
    RunHandler(errors, [&] { form.ShowOptions(); });
    EXPECT_EQ(errors.Errors, std::vector<std::string>{"'abc' is not a valid integer value"});
    EXPECT_EQ(form.Config.Clip, 128);
    EXPECT_EQ(form.Config.Amplitude, 100);
}

TEST_F(MainWindowTest, ResizeKeepsTheMinimumAndSharesTheStrip) {
    Start();
    TFixedMetrics metrics;
    form.ResizeTo(300, 200, 443, 400, 420, metrics);
    EXPECT_EQ(form.Geometry.Width, 440);
    EXPECT_EQ(form.Geometry.Height, 450);
    EXPECT_EQ(form.Geometry.ButtonWidth, (std::array<int, 4>{92, 92, 92, 92}));
    EXPECT_EQ(form.Geometry.ButtonLeft, (std::array<int, 4>{12, 120, 228, 336}));
    EXPECT_EQ(form.Geometry.ToolButtonWidth, (std::array<int, 7>{57, 57, 57, 57, 57, 57, 58}));
    EXPECT_EQ(form.Geometry.ColumnWidth, (std::array<int, 3>{36, 71, 310}));
}

TEST_F(MainWindowTest, TransferSwitchesToTheWorkshopWithoutChangingCommands) {
    Start();
    form.ChangePage(TPage::Cwcid);
    form.Tabs.Cwcid.NumberText = "555";
    form.TransferToWorkshop();
    EXPECT_EQ(form.Page, TPage::Workshop);
    EXPECT_TRUE(form.Commands.TransferCID);  // still the CWCID tab's state
    EXPECT_EQ(form.Workshop.Signalling, TSignalling::CallWaiting);
    EXPECT_EQ(form.Workshop.List.Cell(2, 2), "555");
}

TEST_F(MainWindowTest, CancelledScriptSaveRestoresListAndTab) {
    Start();
    form.ChangePage(TPage::Mdmf);
    saveDialog.Answers = {std::nullopt};
    form.SaveWorkshopScript();
    EXPECT_EQ(form.Page, TPage::Mdmf);
    EXPECT_TRUE(form.Workshop.List.IsEmpty());
    test::TTempDir dir;
    form.ChangePage(TPage::Workshop);
    saveDialog.Answers = {(dir / "w.CID").string()};
    form.SaveWorkshopScript();
    EXPECT_EQ(saveDialog.Showings.size(), 2u);  // once on the workshop tab
    EXPECT_EQ(test::ReadFile(dir / "w.CID"), "=\r\n");
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

// The program's start and close over the real file store.
class MainWindowFileStoreTest : public ::testing::Test {
  protected:
    void Run(const std::function<void(TMainWindowModel&)>& betweenStartAndClose) {
        TRegFileStore store(path);
        TRinglarkApplication app(TMainServices{host, errors, notices, saveDialog, openDialog, timer,
                                               sound, store, shell, clock, editParameter,
                                               viewerOpenDialog, progress});
        app.Start();
        app.MainModel.ShowFirstTime();
        betweenStartAndClose(app.MainModel);
        app.MainModel.SaveConfigOnClose();  // what closing the window runs
    }

    test::TTempDir dir;
    std::string path = (dir / "ringlark.reg").string();
    TScriptedHost host;
    test::TRecordingErrors errors;
    test::TScriptedNotices notices;
    test::TScriptedFileDialog saveDialog;
    test::TScriptedFileDialog openDialog;
    TTickTimer timer;
    test::TRecordingSound sound;
    TRecordingShell shell;
    test::TFixedClock clock;
    TNoDialog editParameter;
    test::TScriptedFileDialog viewerOpenDialog;
    TNoProgress progress;
};

TEST_F(MainWindowFileStoreTest, IntactListsSurviveAMissingOneAndTheOldFileIsKept) {
    const Bytes old = test::StoreWithoutNumberList();
    test::WriteFile(path, old);
    Run([](TMainWindowModel& form) {
        EXPECT_EQ(form.Tabs.Mdmf.NameText, "Ann");
        EXPECT_EQ(form.Config.Amplitude, 90);
    });
    ASSERT_GE(errors.Errors.size(), 1u);
    EXPECT_EQ(errors.Errors[0], "Failed to get data for 'NumberMRU'");
    EXPECT_EQ(test::ReadFile(path + ".bak"), old);
    TConfigValues saved;
    TRegFileStore reread(path);
    EXPECT_TRUE(GetConfig(reread, saved).empty());
    EXPECT_EQ(saved.NameMRU[0], "Ann");
    EXPECT_EQ(saved.AnalystMRU[0], "/tmp/a.wav");
    EXPECT_EQ(saved.Amplitude, 90);
}

TEST_F(MainWindowFileStoreTest, UnreadableStoreIsReportedAndNeverOverwritten) {
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    Run([](TMainWindowModel& form) { form.Config.NumberMRU[0] = "555"; });
    ASSERT_EQ(errors.Errors.size(), 2u);  // at start and at close
    EXPECT_NE(errors.Errors[0].find("was not read: it is not a regular file"), std::string::npos);
    EXPECT_EQ(errors.Errors[1], errors.Errors[0]);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

}  // namespace
}  // namespace ringlark
