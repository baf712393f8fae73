// The Qt binding driven through its real widgets, offscreen. Only what the
// binding can get wrong is checked here; the rules are tested on the models.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "../../tests/AppTestSupport.h"
#include "FskSynth.h"
#include "GenerationDriver.h"
#include "InspectUnit.h"
#include "Options.h"
#include "PortAudioPlayer.h"
#include "QtServices.h"
#include "TestSupport.h"
#include "WavImage.h"
#include "wcidsim.h"

namespace ringlark::ui {
namespace {

// ALSA's default device writes what it is sent into this file.
std::filesystem::path gCapture;

class TNoParameterDialog : public IParameterDialog {
  public:
    bool Execute() override { return false; }
};

class TNoProgress : public IProgress {
  public:
    void Begin(const std::string&, int64_t, int64_t, int64_t) override {}
    void Position(int64_t) override {}
    void End() override {}
};

class GuiTest : public ::testing::Test {
  protected:
    GuiTest()
        : sound(portAudio),
          window(TDesktopServices{errors, notices, saveDialog, openDialog, viewerOpenDialog, sound,
                                  store, shell, clock, editParameter, progress}),
          options(window.App().FormOptions, &window),
          inspect(&window) {
        window.SetOptionsWindow(&options);
        window.SetInspectWindow(&inspect);
        window.show();
        window.FormShow();
    }

    void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    void SelectTab(TPage page) { window.PageControl1->setCurrentIndex(static_cast<int>(page)); }
    void Type(QComboBox* box, const QString& text) { box->setEditText(text); }
    void Type(QLineEdit* edit, const QString& text) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    // A modal window opened by the next action is handled by `answer`.
    void WhenModalOpens(std::function<void()> answer) {
        QTimer::singleShot(0, &window, [answer = std::move(answer)] { answer(); });
    }
    void UseFixedSdmfFields() {
        auto& sdmf = window.Tabs[0];
        SelectTab(TPage::Sdmf);
        Click(sdmf.UseCurrent);  // unchecked: the fields become editable
        Type(sdmf.Number, QStringLiteral("12-34"));
        Type(sdmf.Date, QStringLiteral("0101"));
        Type(sdmf.Time, QStringLiteral("1200"));
    }

    test::TRecordingErrors errors;
    test::TScriptedNotices notices;
    test::TScriptedFileDialog saveDialog;
    test::TScriptedFileDialog openDialog;
    test::TScriptedFileDialog viewerOpenDialog;
    TPortAudioPlayer portAudio;
    TBlockingSound sound;
    test::TMemoryStore store;
    TQtShell shell;
    test::TFixedClock clock;
    TNoParameterDialog editParameter;
    TNoProgress progress;
    TForm1Window window;
    TFormOptionsWindow options;
    TFormInspect inspect;
};

TEST_F(GuiTest, PlayOnTheSdmfTabPlaysTheExactImage) {
    UseFixedSdmfFields();
    std::filesystem::remove(gCapture);
    Click(window.ButtonPlay);
    EXPECT_EQ(window.StatusPanel->text(), QStringLiteral("..010112001234\u00A1"));
    TFskSynth fresh;
    const Bytes image = SynthesiseImage(
        fresh, test::HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1"), TSignalling::OnHook);
    EXPECT_TRUE(test::ReadFile(gCapture) == image.substr(WavHeaderSize)) << "played bytes differ";
    EXPECT_TRUE(window.ButtonPlay->isEnabled());
    EXPECT_TRUE(window.isEnabled());
}

TEST_F(GuiTest, SaveWritesTheFileChosenInTheDialog) {
    UseFixedSdmfFields();
    test::TTempDir dir;
    saveDialog.Answers = {(dir / "cid.wav").string()};
    Click(window.ButtonSave);
    EXPECT_EQ(test::ReadFile(dir / "cid.wav").size(), 23197u);
}

TEST_F(GuiTest, SaveToAnUnwritablePathIsReportedAndButtonsStayEnabled) {
    saveDialog.Answers = {"/nonexistent-folder/x.wav"};
    Click(window.ButtonSave);
    EXPECT_EQ(errors.Errors,
              std::vector<std::string>{"Cannot create file /nonexistent-folder/x.wav"});
    EXPECT_TRUE(window.ButtonSave->isEnabled());
    EXPECT_TRUE(window.ButtonPlay->isEnabled());
    EXPECT_TRUE(window.ButtonInspect->isEnabled());
}

TEST_F(GuiTest, InspectOpensTheInspectorWithTheMessageRows) {
    UseFixedSdmfFields();
    int rows = -1;
    QString checksum;
    QString raw;
    WhenModalOpens([&] {
        rows = inspect.Table()->rowCount();
        checksum = inspect.Table()->item(14, 5)->text();
        raw = inspect.RawStream()->text();
        Click(inspect.OkButton());
    });
    Click(window.ButtonInspect);
    EXPECT_EQ(rows, 15);
    EXPECT_EQ(checksum, QStringLiteral("Checksum (Passed)"));
    EXPECT_EQ(raw, QStringLiteral("..010112001234\u00A1"));
    EXPECT_EQ(inspect.Table()->verticalHeader()->defaultSectionSize(), 18);
}

TEST_F(GuiTest, CheckBoxRulesThroughRealClicks) {
    auto& sdmf = window.Tabs[0];
    Click(sdmf.Private);
    Click(sdmf.LongDistance);
    EXPECT_FALSE(sdmf.Private->isChecked());
    EXPECT_TRUE(sdmf.LongDistance->isChecked());

    SelectTab(TPage::Cwcid);
    auto& cwcid = window.Tabs[2];
    Click(cwcid.NameDisabled);
    EXPECT_FALSE(cwcid.Name->isEnabled());
    Click(cwcid.OutOfArea);
    EXPECT_FALSE(cwcid.Number->isEnabled());
    Click(cwcid.LongDistance);
    EXPECT_FALSE(cwcid.OutOfArea->isChecked());
    EXPECT_TRUE(cwcid.Number->isEnabled());
    Click(cwcid.OutOfArea);
    EXPECT_FALSE(cwcid.LongDistance->isChecked());
    EXPECT_FALSE(cwcid.Number->isEnabled());
}

TEST_F(GuiTest, TabChangesSetTheCommandStates) {
    SelectTab(TPage::Analyst);
    EXPECT_FALSE(window.ButtonPlay->isEnabled());
    EXPECT_FALSE(window.ButtonSave->isEnabled());
    EXPECT_FALSE(window.Save1->isEnabled());
    EXPECT_TRUE(window.ButtonInspect->isEnabled());
    SelectTab(TPage::Workshop);
    EXPECT_TRUE(window.SaveWorkshopScript1->isEnabled());
    EXPECT_FALSE(window.TransferCIDtoWorkshop1->isEnabled());
    SelectTab(TPage::Cwcid);
    EXPECT_TRUE(window.TransferCIDtoWorkshop1->isEnabled());
    EXPECT_TRUE(window.ButtonPlay->isEnabled());
}

TEST_F(GuiTest, AboutThenQuitReturnsToMdmfAndASecondQuitCloses) {
    SelectTab(TPage::Misc);
    window.About1->trigger();
    EXPECT_EQ(window.PageControl1->currentIndex(), static_cast<int>(TPage::About));
    EXPECT_TRUE(window.PageControl1->isTabVisible(static_cast<int>(TPage::About)));
    EXPECT_FALSE(window.ButtonPlay->isEnabled());
    EXPECT_EQ(window.AboutLines[1]->text(), QStringLiteral("Version 1.3.1 Build 037"));
    Click(window.ButtonQuit);
    EXPECT_EQ(window.PageControl1->currentIndex(), static_cast<int>(TPage::Mdmf));
    EXPECT_FALSE(window.PageControl1->isTabVisible(static_cast<int>(TPage::About)));
    EXPECT_TRUE(window.isVisible());
    Click(window.ButtonQuit);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(store.Saves, 2);  // the first run's defaults, then the close
}

TEST_F(GuiTest, OptionsCancelWithDisableClippingSetsClip128) {
    WhenModalOpens([&] {
        Click(options.DisableClipping());
        Click(options.CancelButton());
    });
    window.Preferences1->trigger();
    EXPECT_EQ(window.Model().Config.Clip, 128);
    EXPECT_FALSE(options.Clip()->isEnabled());
}

TEST_F(GuiTest, WorkshopGridEditsReachTheModel) {
    SelectTab(TPage::Workshop);
    window.StringGrid1->item(0, 1)->setText(QStringLiteral("11"));
    window.StringGrid1->item(0, 2)->setText(QStringLiteral("AB"));
    EXPECT_EQ(window.Model().Workshop.List.Rows(), (std::vector<TWorkshopRow>{{"11", "AB"}}));
    EXPECT_TRUE(window.WorkshopActions[2]->isEnabled());  // Edit: the list is no longer empty
}

}  // namespace
}  // namespace ringlark::ui

int main(int argc, char** argv) {
    // Point ALSA's default device at a capture file before anything opens it.
    const auto home =
        std::filesystem::temp_directory_path() / ("ringlark-gui-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    ringlark::ui::gCapture = home / "captured.raw";
    ringlark::test::WriteFile(home / ".asoundrc",
                              "pcm.!default {\n  type plug\n  slave.pcm \"capfile\"\n}\n"
                              "pcm.capfile {\n  type file\n  slave.pcm \"null\"\n  file \"" +
                                  ringlark::ui::gCapture.string() + "\"\n  format \"raw\"\n}\n");
    setenv("HOME", home.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(home);
    return result;
}
