// The Qt binding driven through its real widgets, offscreen. Only what the
// binding can get wrong is checked here; the rules are tested on the models.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <cstdlib>

#include "analyst/ui/ProgressWindow.h"
#include "analyst/ui/WaveformViewerWindow.h"
#include "app/tests/AppTestSupport.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/QtServices.h"
#include "core/NullServices.h"
#include "core/WavImage.h"
#include "generation/FskSynth.h"
#include "generation/sound/PortAudioPlayer.h"
#include "generation/workflow/GenerationDriver.h"
#include "inspection/Inspector.h"
#include "inspection/ui/InspectorWindow.h"
#include "measurement/ui/SignalMeasurementsWindow.h"
#include "tests/support/TestSupport.h"

namespace ringlark::ui {
namespace {

// ALSA's default device writes what it is sent into this file.
std::filesystem::path gCapture;

class TNoParameterDialog : public IParameterDialog {
  public:
    bool Execute() override { return false; }
};

class GuiTest : public ::testing::Test {
  protected:
    GuiTest()
        : sound(portAudio),
          window(TDesktopServices{errors, notices, saveDialog, openDialog, viewerOpenDialog, sound,
                                  store, shell, clock, editParameter, progress}),
          options(window.App().FormOptions, &window),
          inspect(&window),
          viewer(window.Model().Viewer, errors, &window),
          measurements(&window) {
        window.SetOptionsWindow(&options);
        window.SetInspectWindow(&inspect);
        window.SetViewerWindow(&viewer);
        window.SetMeasurementsWindow(&measurements);
        window.show();
        window.ShowFirstTime();
    }

    void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    void SelectTab(TPage page) { window.pages->setCurrentIndex(static_cast<int>(page)); }
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
        auto& sdmf = window.tabWidgets[0];
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
    MainWindow window;
    OptionsDialog options;
    InspectorWindow inspect;
    WaveformViewerWindow viewer;
    SignalMeasurementsWindow measurements;
};

std::string WriteRecording(const test::TTempDir& dir, const Bytes& message,
                           TSignalling signalling) {
    TFskSynth synth;
    const auto path = (dir / "recording.wav").string();
    SaveImageToFile(path, SynthesiseImage(synth, message, signalling));
    return path;
}

QColor Pixel(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

TEST_F(GuiTest, PlayOnTheSdmfTabPlaysTheExactImage) {
    UseFixedSdmfFields();
    std::filesystem::remove(gCapture);
    Click(window.playButton);
    EXPECT_EQ(window.statusPanel->text(), QStringLiteral("..010112001234\u00A1"));
    TFskSynth fresh;
    const Bytes image = SynthesiseImage(
        fresh, test::HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1"), TSignalling::OnHook);
    EXPECT_TRUE(test::ReadFile(gCapture) == image.substr(WavHeaderSize)) << "played bytes differ";
    EXPECT_TRUE(window.playButton->isEnabled());
    EXPECT_TRUE(window.isEnabled());
}

TEST_F(GuiTest, SaveWritesTheFileChosenInTheDialog) {
    UseFixedSdmfFields();
    test::TTempDir dir;
    saveDialog.Answers = {(dir / "cid.wav").string()};
    Click(window.saveButton);
    EXPECT_EQ(test::ReadFile(dir / "cid.wav").size(), 23197u);
}

TEST_F(GuiTest, SaveToAnUnwritablePathIsReportedAndButtonsStayEnabled) {
    saveDialog.Answers = {"/nonexistent-folder/x.wav"};
    Click(window.saveButton);
    EXPECT_EQ(errors.Errors,
              std::vector<std::string>{"Cannot create file /nonexistent-folder/x.wav"});
    EXPECT_TRUE(window.saveButton->isEnabled());
    EXPECT_TRUE(window.playButton->isEnabled());
    EXPECT_TRUE(window.inspectButton->isEnabled());
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
    Click(window.inspectButton);
    EXPECT_EQ(rows, 15);
    EXPECT_EQ(checksum, QStringLiteral("Checksum (Passed)"));
    EXPECT_EQ(raw, QStringLiteral("..010112001234\u00A1"));
    EXPECT_EQ(inspect.Table()->verticalHeader()->defaultSectionSize(), 18);
}

TEST_F(GuiTest, CheckBoxRulesThroughRealClicks) {
    auto& sdmf = window.tabWidgets[0];
    Click(sdmf.Private);
    Click(sdmf.LongDistance);
    EXPECT_FALSE(sdmf.Private->isChecked());
    EXPECT_TRUE(sdmf.LongDistance->isChecked());

    SelectTab(TPage::Cwcid);
    auto& cwcid = window.tabWidgets[2];
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
    EXPECT_FALSE(window.playButton->isEnabled());
    EXPECT_FALSE(window.saveButton->isEnabled());
    EXPECT_FALSE(window.saveAction->isEnabled());
    EXPECT_TRUE(window.inspectButton->isEnabled());
    SelectTab(TPage::Workshop);
    EXPECT_TRUE(window.saveWorkshopScriptAction->isEnabled());
    EXPECT_FALSE(window.transferAction->isEnabled());
    SelectTab(TPage::Cwcid);
    EXPECT_TRUE(window.transferAction->isEnabled());
    EXPECT_TRUE(window.playButton->isEnabled());
}

TEST_F(GuiTest, AboutThenQuitReturnsToMdmfAndASecondQuitCloses) {
    SelectTab(TPage::Misc);
    window.aboutAction->trigger();
    EXPECT_EQ(window.pages->currentIndex(), static_cast<int>(TPage::About));
    EXPECT_TRUE(window.pages->isTabVisible(static_cast<int>(TPage::About)));
    EXPECT_FALSE(window.playButton->isEnabled());
    EXPECT_EQ(window.aboutLines[1]->text(), QStringLiteral("Version 1.3.1 Build 037"));
    Click(window.quitButton);
    EXPECT_EQ(window.pages->currentIndex(), static_cast<int>(TPage::Mdmf));
    EXPECT_FALSE(window.pages->isTabVisible(static_cast<int>(TPage::About)));
    EXPECT_TRUE(window.isVisible());
    Click(window.quitButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(store.Saves, 2);  // the first run's defaults, then the close
}

TEST_F(GuiTest, OptionsCancelWithDisableClippingSetsClip128) {
    WhenModalOpens([&] {
        Click(options.DisableClipping());
        Click(options.CancelButton());
    });
    window.preferencesAction->trigger();
    EXPECT_EQ(window.Model().Config.Clip, 128);
    EXPECT_FALSE(options.Clip()->isEnabled());
}

TEST_F(GuiTest, TheStandardChosenInTheOptionsIsUsedAndShown) {
    EXPECT_TRUE(window.standardPanel->isHidden());
    WhenModalOpens([&] {
        options.Standard()->setCurrentIndex(1);
        emit options.Standard()->activated(1);
        Click(options.OkButton());
    });
    window.preferencesAction->trigger();
    EXPECT_EQ(window.Model().Config.Standard, TCidStandard::EtsiV23);
    EXPECT_FALSE(window.standardPanel->isHidden());
    EXPECT_EQ(window.standardPanel->text(), "ETSI V.23 (Europe)");
    // and back: cancelling keeps it, choosing Bell 202 hides the panel
    WhenModalOpens([&] {
        options.Standard()->setCurrentIndex(0);
        emit options.Standard()->activated(0);
        Click(options.OkButton());
    });
    window.preferencesAction->trigger();
    EXPECT_EQ(window.Model().Config.Standard, TCidStandard::Bell202);
    EXPECT_TRUE(window.standardPanel->isHidden());
}

// A 16-bit mono WAV file at 8000/s, written by hand.
std::string WriteSixteenBitRecording(const test::TTempDir& dir, const Bytes& message) {
    TFskSynth synth;
    const Bytes image = SynthesiseImage(synth, message, TSignalling::OnHook);
    Bytes samples;
    for (std::size_t i = WavHeaderSize; i + 5 < image.size(); i += 5) {  // 44100 / 5 = 8820/s
        const int v = (static_cast<uint8_t>(image[i]) - 128) * 256;
        samples += static_cast<char>(v & 0xFF);
        samples += static_cast<char>((v >> 8) & 0xFF);
    }
    Bytes file = "RIFF....WAVEfmt ....................data....";
    WriteLe32(file, 4, static_cast<uint32_t>(36 + samples.size()));
    WriteLe32(file, 16, 16);
    WriteLe16(file, 20, 1);
    WriteLe16(file, 22, 1);
    WriteLe32(file, 24, 8820);
    WriteLe32(file, 28, 8820 * 2);
    WriteLe16(file, 32, 2);
    WriteLe16(file, 34, 16);
    WriteLe32(file, 40, static_cast<uint32_t>(samples.size()));
    const auto path = (dir / "sixteen.wav").string();
    test::WriteFile(path, file + samples);
    return path;
}

TEST_F(GuiTest, TheOverviewStripShowsTheSpansAndAClickMovesTheView) {
    test::TTempDir dir;
    const auto path =
        WriteRecording(dir, test::HexBytes("82 03 0B 01 FF 70"), TSignalling::CallWaiting);
    ASSERT_EQ(window.Model().Viewer.LoadWAV(path), TLoadResult::Loaded);
    const TOverview& overview = viewer.Strip()->Overview();
    ASSERT_EQ(overview.Spans.size(), 3u);
    EXPECT_EQ(overview.Spans[0].Label, "SAS");
    EXPECT_EQ(overview.Spans[1].Label, "CAS");
    EXPECT_EQ(overview.Spans[2].Label, "CORR");
    // a click on the message's span brings the view there
    const int column = static_cast<int>(overview.Spans[2].From * 771 / overview.Samples) + 1;
    QTest::mouseClick(viewer.Strip(), Qt::LeftButton, {}, QPoint(column, 20));
    const int64_t expected = 44 + overview.Samples * column / 771;
    EXPECT_EQ(viewer.ScrollBar()->value(), expected);
    EXPECT_EQ(window.Model().Viewer.ScrollPosition, expected);
    if (const char* folder = std::getenv("RINGLARK_SCREENSHOTS")) {
        viewer.grab().save(QString::fromLocal8Bit(folder) + "/ringlark-viewer-overview.png");
    }
}

TEST_F(GuiTest, AnalyzeAnyRecordingLoadsASixteenBitFileAndMeasuresIt) {
    test::TTempDir dir;
    TCidRequest request;
    request.Kind = TMessageKind::VmwiOn;
    const Bytes message = BuildCidMessage(request, {});
    viewerOpenDialog.Answers.push_back(WriteSixteenBitRecording(dir, message));
    window.anyRecordingAction->trigger();
    ASSERT_EQ(viewerOpenDialog.Showings.size(), 1u);
    EXPECT_EQ(viewerOpenDialog.Showings[0].Title, "Analyze Any Recording");
    EXPECT_TRUE(errors.Errors.empty());
    EXPECT_EQ(ReadWavFields(window.Model().Viewer.LoadedImage).SampleRate, 44100u);
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_TRUE(measurements.isVisible());
    ASSERT_EQ(measurements.messageBox->count(), 1);
    EXPECT_TRUE(measurements.messageBox->itemText(0).endsWith("82 03 0B 01 FF 70"));
    // what libsndfile cannot read is reported
    const auto text = (dir / "text.wav").string();
    test::WriteFile(text, "not a sound");
    viewerOpenDialog.Answers.push_back(text);
    window.anyRecordingAction->trigger();
    EXPECT_EQ(errors.Errors, std::vector<std::string>{"Cannot open file " + text});
}

TEST_F(GuiTest, WorkshopGridEditsReachTheModel) {
    SelectTab(TPage::Workshop);
    window.workshopGrid->item(0, 1)->setText(QStringLiteral("11"));
    window.workshopGrid->item(0, 2)->setText(QStringLiteral("AB"));
    EXPECT_EQ(window.Model().Workshop.List.Rows(), (std::vector<TWorkshopRow>{{"11", "AB"}}));
    EXPECT_TRUE(window.workshopActions[2]->isEnabled());  // Edit: the list is no longer empty
}

TEST_F(GuiTest, AnalyzeOnTheTabThenInspectAndClear) {
    test::TTempDir dir;
    const Bytes message = test::HexBytes("82 03 0B 01 FF 70");
    const auto path = WriteRecording(dir, message, TSignalling::OnHook);
    SelectTab(TPage::Analyst);
    window.analystFileBox->setEditText(QString::fromStdString(path));
    Click(window.analyzeButton);
    const QStringList lines = window.resultsBox->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("Here is what I decoded:"));
    EXPECT_EQ(lines[1], QStringLiteral("(Using Analysis Method 1)"));
    EXPECT_EQ(lines[3], QStringLiteral("\u201A   \u00FFp"));  // control bytes as spaces
    EXPECT_EQ(window.analystFileBox->itemText(0), QString::fromStdString(path));

    QString note;
    WhenModalOpens([&] {
        note = inspect.Table()->item(4, 5)->text();
        Click(inspect.OkButton());
    });
    Click(window.inspectButton);
    EXPECT_EQ(note, QStringLiteral("VMWI Status: On"));

    Click(window.clearButton);
    EXPECT_TRUE(window.resultsBox->toPlainText().isEmpty());
    int rows = 0;
    WhenModalOpens([&] {
        rows = inspect.Table()->rowCount();
        Click(inspect.OkButton());
    });
    Click(window.inspectButton);
    EXPECT_EQ(rows, 199);
}

TEST_F(GuiTest, ViewerDrawsTheLoadedRecording) {
    test::TTempDir dir;
    const auto path =
        WriteRecording(dir, test::HexBytes("82 03 0B 01 FF 70"), TSignalling::CallWaiting);
    ASSERT_EQ(window.Model().Viewer.LoadWAV(path), TLoadResult::Loaded);
    EXPECT_EQ(viewer.ScrollBar()->minimum(), 44);
    EXPECT_EQ(viewer.ScrollBar()->value(), 44);
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("Waveform Viewer - recording.wav"));

    // in the silence of the call-waiting preamble: the centre line, the flat
    // waveform just under it, white elsewhere, and a grid line where the offset
    // is a multiple of 350
    const int silenceStart = 44 + 13230 + 4410 + 200;
    viewer.ScrollBar()->setValue(silenceStart);
    const QImage silence = viewer.Picture();
    EXPECT_EQ(Pixel(silence, 400, 131), QColor(0, 0, 128));
    EXPECT_EQ(Pixel(silence, 400, 132), QColor(0, 0, 0));
    EXPECT_EQ(Pixel(silence, 400, 200), QColor(255, 255, 255));
    const int gridX = (silenceStart / 350 + 1) * 350 - silenceStart;
    EXPECT_EQ(Pixel(silence, gridX, 250), QColor(128, 0, 0));

    // in the mark run before the message: events with aqua lines and fuchsia bars
    viewer.ScrollBar()->setValue(44 + 29547 - 1000);
    const QImage mark = viewer.Picture();
    int aqua = 0;
    int fuchsia = 0;
    for (int x = 0; x < 771; ++x) {
        aqua += Pixel(mark, x, 250) == QColor(0, 255, 255) ? 1 : 0;
        fuchsia += Pixel(mark, x, 20) == QColor(255, 0, 255) ? 1 : 0;
    }
    EXPECT_GT(aqua, 30);
    EXPECT_GT(fuchsia, 600);

    // scrolling past the end draws the same picture as the limit
    const int imageSize = static_cast<int>(window.Model().Viewer.LoadedImage.size());
    viewer.ScrollBar()->setValue(imageSize - 771);
    const QImage limit = viewer.Picture();
    viewer.ScrollBar()->setValue(imageSize);
    EXPECT_EQ(viewer.Picture(), limit);
}

TEST_F(GuiTest, ViewerAnalysisShowsTheFrameListingModally) {
    test::TTempDir dir;
    window.Model().Viewer.LoadWAV(
        WriteRecording(dir, test::HexBytes("82 03 0B 01 00 6F"), TSignalling::OnHook));
    int lines = 0;
    WhenModalOpens([&] {
        lines = static_cast<int>(
            viewer.FrameListing().ListingBox()->toPlainText().split(QLatin1Char('\n')).size());
        Click(viewer.FrameListing().ContinueButton());
    });
    Click(viewer.AnalyzeZcButton());
    EXPECT_EQ(lines, 6);
    lines = 0;
    WhenModalOpens([&] {
        lines = static_cast<int>(
            viewer.FrameListing().ListingBox()->toPlainText().split(QLatin1Char('\n')).size());
        Click(viewer.FrameListing().ContinueButton());
    });
    Click(viewer.AnalyzeCorrButton());
    EXPECT_EQ(lines, 7);  // six frames and the quality line
    EXPECT_EQ(window.Model().Viewer.Analyzer.Demodulator.AnalysisMethod,
              TAnalysisMethod::Correlation);
}

// An emptied number stays empty when the name list is refreshed after it.
TEST_F(GuiTest, ClearedNumberDoesNotComeBack) {
    for (std::size_t t : {1u, 2u}) {
        auto& tab = window.tabWidgets[t];
        SelectTab(t == 1 ? TPage::Mdmf : TPage::Cwcid);
        Type(tab.Number, QStringLiteral("555-0100"));
        Type(tab.Name, QStringLiteral("Ann"));
        Click(window.playButton);
        Type(tab.Number, QString());
        Type(tab.Name, QStringLiteral("Bob"));
        Click(window.playButton);
        EXPECT_EQ(tab.Number->currentText(), QString()) << t;
        EXPECT_EQ(tab.Name->currentText(), QStringLiteral("Bob"));
        EXPECT_EQ(window.statusPanel->text().indexOf(QStringLiteral("555")), -1);
    }
}

// The workshop page is sized at start and on every resize, also while hidden,
// so a transfer shows the grid and the tool bar whole.
TEST_F(GuiTest, WorkshopIsSizedAfterATransfer) {
    window.resize(700, 520);
    SelectTab(TPage::Mdmf);
    window.transferAction->trigger();
    ASSERT_EQ(window.pages->currentIndex(), static_cast<int>(TPage::Workshop));
    const QFontMetrics metrics(window.workshopGrid->horizontalHeader()->font());
    EXPECT_EQ(window.workshopGrid->columnWidth(1),
              metrics.horizontalAdvance(QStringLiteral("Parameter")) + 8);
    EXPECT_GT(window.workshopGrid->columnWidth(2), 300);
    for (QAction* action : window.workshopActions) {
        QWidget* tool = window.workshopToolBar->widgetForAction(action);
        ASSERT_NE(tool, nullptr);
        EXPECT_TRUE(tool->isVisible()) << action->text().toStdString();
    }
}

// Enter on a Parameter cell that is not being edited turns "11" into "$0B".
TEST_F(GuiTest, EnterOnAParameterCellWithoutEditing) {
    SelectTab(TPage::Workshop);
    window.workshopGrid->item(0, 1)->setText(QStringLiteral("11"));
    window.workshopGrid->setCurrentCell(0, 1);
    window.workshopGrid->setFocus();
    QTest::keyClick(window.workshopGrid, Qt::Key_Return);
    EXPECT_EQ(window.Model().Workshop.List.Rows()[0].TypeText, "$0B");
    EXPECT_EQ(window.workshopGrid->item(0, 1)->text(), QStringLiteral("$0B"));
}

// The inspector fits itself to its rows on every resize, not only when opened.
TEST_F(GuiTest, InspectorFitsOnEveryResize) {
    inspect.ShowTable(BuildInspector(test::HexBytes("82 03 0B 01 FF 70")));
    inspect.show();
    inspect.resize(640, 400);
    const int fitted = inspect.height();
    const int notes = inspect.Table()->columnWidth(5);
    EXPECT_LT(fitted, 400);  // shortened to the last row
    inspect.resize(640, 700);
    EXPECT_EQ(inspect.height(), fitted);
    EXPECT_EQ(inspect.Table()->columnWidth(5), notes);
    inspect.hide();
}

// A carriage return and line feed in the report break its line.
TEST_F(GuiTest, ResultsBoxBreaksLinesAtCarriageReturnLineFeed) {
    window.Model().Analyst.Report = {"Here",
                                     "A\r\nB\x01"
                                     "C",
                                     "end"};
    window.RefreshAll();
    EXPECT_EQ(window.resultsBox->toPlainText(), QStringLiteral("Here\nA\nB C\nend"));
}

// Text outside Windows-1252 stays in the box as typed; what is sent holds "?",
// and the status bar says so.
TEST_F(GuiTest, TypedTextOutsideWindows1252StaysAsTyped) {
    SelectTab(TPage::Mdmf);
    auto& mdmf = window.tabWidgets[1];
    const QString typed = QStringLiteral("Zo\u00EB \u65E5\u672C");
    Type(mdmf.Name, typed);
    window.RefreshAll();
    EXPECT_EQ(mdmf.Name->currentText(), typed);
    EXPECT_EQ(window.Model().Tabs.Mdmf.NameText, "Zo\xEB ??");
    EXPECT_EQ(window.statusPanel->text().toStdString(), MainWindow::kUnsendableNote);
}

// The progress window stays usable (not greyed) while the others are disabled,
// and everything is enabled again at its end.
TEST_F(GuiTest, ProgressWindowIsNotGreyedOut) {
    ProgressWindow progressWindow(&window);
    progressWindow.Begin("Converting from 11k format", 1, 100, 1);
    EXPECT_TRUE(progressWindow.isEnabled());
    EXPECT_FALSE(window.isEnabled());
    progressWindow.End();
    EXPECT_TRUE(window.isEnabled());
}

// The WAV dialogs show the filter as the program names it and list .wav files
// in any letter case.
TEST(QtFileFilter, ShownAsNamedAndMatchedInAnyCase) {
    EXPECT_EQ(QtFilter("WAV Files (*.WAV)|*.WAV"), QStringLiteral("WAV Files (*.WAV)"));
    EXPECT_EQ(QtFilter("WAV Files (*.wav)|*.WAV|All Files (*.*)|*.*"),
              QStringLiteral("WAV Files (*.wav);;All Files (*)"));
    test::TTempDir dir;
    for (const char* name : {"a.wav", "B.WAV", "c.Wav", "d.txt"}) {
        test::WriteFile(dir / name, "");
    }
    QFileDialog dialog(nullptr, QStringLiteral("Open"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QtFilter("WAV Files (*.WAV)|*.WAV"));
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setDirectory(QString::fromStdString(dir.Path().string()));
    dialog.show();
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(view, nullptr);
    QStringList shown;
    for (int wait = 0; wait < 1500 && shown.size() < 3; ++wait) {
        QTest::qWait(20);
        shown.clear();
        const QModelIndex root = view->rootIndex();
        for (int r = 0; r < view->model()->rowCount(root); ++r) {
            shown << view->model()->index(r, 0, root).data().toString();
        }
    }
    shown.sort();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("B.WAV"), QStringLiteral("a.wav"),
                                  QStringLiteral("c.Wav")}));
}

}  // namespace

std::filesystem::path gInfeed;

}  // namespace ringlark::ui

int main(int argc, char** argv) {
    // Point ALSA's default device at a capture file before anything opens it.
    const auto home =
        std::filesystem::temp_directory_path() / ("ringlark-gui-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    ringlark::ui::gCapture = home / "captured.raw";
    // Capture reads this file (signed 16-bit mono at 44100/s), then silence.
    ringlark::ui::gInfeed = home / "infeed.raw";
    ringlark::test::WriteFile(ringlark::ui::gInfeed, "");
    ringlark::test::WriteFile(
        home / ".asoundrc",
        "pcm.!default {\n  type asym\n  playback.pcm \"outplug\"\n  capture.pcm \"inplug\"\n}\n"
        "pcm.outplug {\n  type plug\n  slave.pcm \"capfile\"\n}\n"
        "pcm.capfile {\n  type file\n  slave.pcm \"null\"\n  file \"" +
            ringlark::ui::gCapture.string() +
            "\"\n  format \"raw\"\n}\n"
            "pcm.inplug {\n  type plug\n  slave {\n    pcm \"feedfile\"\n    format S16_LE\n"
            "    rate 44100\n    channels 1\n  }\n}\n"
            "pcm.feedfile {\n  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
            "  infile \"" +
            ringlark::ui::gInfeed.string() + "\"\n  format \"raw\"\n}\n");
    setenv("HOME", home.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(home);
    return result;
}
