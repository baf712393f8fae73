#include "analyst/AnalystTab.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>

#include "analyst/tests/AnalystTestSupport.h"
#include "core/RinglarkError.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "generation/StandardsSynth.h"
#include "protocol/MessageFormat.h"
#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

class TRecordingAnalystHost : public IAnalystHost {
  public:
    Bytes FileName;
    std::vector<Bytes> List{""};
    std::vector<Bytes> Bubbled;
    int InspectorClears = 0;
    Bytes& AnalystFileName() override { return FileName; }
    void BubbleAnalystMRU(const Bytes& fileName) override {
        Bubbled.push_back(fileName);
        if (!fileName.empty()) {
            List.insert(List.begin(), fileName);
            FileName = List[0];
        }
    }
    void ClearInspector() override { ++InspectorClears; }
};

class AnalystTabTest : public ::testing::Test, protected test::TViewerFixture {
  protected:
    std::string WriteImage(const Bytes& message, TSignalling signalling = TSignalling::OnHook) {
        TFskSynth synth;
        const auto path = (dir / "call.wav").string();
        SaveImageToFile(path, SynthesiseImage(synth, message, signalling));
        return path;
    }
    test::TTempDir dir;
    TRecordingAnalystHost host;
    test::TScriptedFileDialog mainOpenDialog;
    TAnalystTab tab{host, viewer, mainOpenDialog};
};

TEST_F(AnalystTabTest, SuccessReport) {
    const Bytes message = test::HexBytes("82 03 0B 01 FF 70");
    host.FileName = WriteImage(message);
    tab.AnalyzeRecording();
    EXPECT_EQ(tab.Report,
              (std::vector<Bytes>{"Here is what I decoded:", "(Using Analysis Method 1)", " ",
                                  message, " ", "Click INSPECT to see a detailed analysis!"}));
    EXPECT_EQ(tab.AnalystInspectText, message);
    EXPECT_EQ(host.Bubbled, (std::vector<Bytes>{host.FileName, host.FileName}));
    EXPECT_EQ(host.List[0], host.FileName);
}

// Two errors that cancel in the checksum: method 1 reads the bytes exactly,
// the sum is right, but the date holds a letter. It is shown for what it is,
// and is not a decoded message.
TEST_F(AnalystTabTest, AChecksumThatAddsUpOverABrokenRuleIsNotADecodedMessage) {
    const Bytes message =
        FrameMessage(0x80, Bytes("\x01\x08", 2) + "010q1200" + Bytes("\x02\x04", 2) + "5512");
    host.FileName = WriteImage(message);
    tab.AnalyzeRecording();
    EXPECT_EQ(tab.Report,
              (std::vector<Bytes>{"Here is what I decoded:", "(Using Analysis Method 1)", " ",
                                  message, " ",
                                  "The checksum adds up but invalid date/time: this is not a "
                                  "trustworthy message.",
                                  " ", "Click INSPECT to see a detailed analysis!"}));
    const TAutoResult result = viewer.Analyzer.AutoAnalyze(viewer.LoadedImage);
    EXPECT_FALSE(result.Checked());
    EXPECT_EQ(result.BrokenRule(), "invalid date/time");
    // a name byte 0x0F, the checksum made to add up
    const Bytes name = FrameMessage(0x80, Bytes("\x07\x04", 2) + "JO\x0FN");
    host.FileName = WriteImage(name);
    tab.AnalyzeRecording();
    EXPECT_EQ(tab.Report[5],
              "The checksum adds up but name holds a character that cannot be shown: this is "
              "not a trustworthy message.");
}

// Two digits that differ in bit 1 sent as a tie of both tones: read either
// way, the checksum adds up. Method 3 finds the message only as uncertain; it
// is shown with both readings and is no decoded message.
TEST_F(AnalystTabTest, AnUncertainMessageIsShownWithBothReadings) {
    const Bytes sent =
        FrameMessage(0x80, Bytes("\x01\x08", 2) + "12070930" + Bytes("\x02\x04", 2) + "5512");
    TFskSignal signal;
    signal.Blends = {{14 * 8 + 1, 0.47}, {17 * 8 + 1, 0.47}};  // '5' and '2', nearly a tie
    host.FileName = (dir / "tie.wav").string();
    SaveImageToFile(host.FileName, SamplesImage(SynthesiseFsk(sent, signal), 44100));
    tab.AnalyzeRecording();
    const TAutoResult result = viewer.Analyzer.AutoAnalyze(viewer.LoadedImage);
    ASSERT_TRUE(result.Uncertain) << result.MethodTag << " " << test::ToHex(result.Text) << " sent "
                                  << test::ToHex(sent);
    EXPECT_FALSE(result.Checked());
    const Bytes other = result.Text == sent ? result.Alternative : result.Text;
    EXPECT_TRUE(result.Text == sent || result.Alternative == sent);
    EXPECT_EQ(other.substr(14, 4), "7510");  // both bits the other way
    EXPECT_EQ(tab.Report, (std::vector<Bytes>{
                              "Uncertain reading:", "(Using Analysis Method 3)", " ", result.Text,
                              " ", "Another reading also fits:", result.Alternative, " ",
                              "Neither can be trusted. Click INSPECT to see the first in "
                              "detail."}));
    EXPECT_EQ(tab.AnalystInspectText, result.Text);
}

TEST_F(AnalystTabTest, PeakReportNamesMethod2) {
    const Bytes message = test::HexBytes("82 03 0B 01 00 6F");
    host.FileName = WriteImage(message, TSignalling::CallWaiting);
    tab.AnalyzeRecording();
    EXPECT_EQ(tab.Report[1], "(Using Analysis Method 2)");
    EXPECT_EQ(tab.Report[3], message);
}

TEST_F(AnalystTabTest, FailureReportAndInspectTextFromTheMethod0Text) {
    // A recording of a message whose type is unknown: both methods decode
    // it, neither is accepted. Its 0x0A byte is a line feed.
    const Bytes message = test::HexBytes("41 0A 02 0A 30 31");
    host.FileName = WriteImage(message);
    tab.AnalyzeRecording();
    ASSERT_EQ(tab.Report.size(), 8u);
    EXPECT_EQ(tab.Report[0], "Sorry, I could not make sense of this file.");
    EXPECT_EQ(tab.Report[1], "Here's what it looks like to me:");
    EXPECT_EQ(tab.Report[3], "Analysis Method 1:");
    EXPECT_EQ(tab.Report[4], message);
    EXPECT_EQ(tab.Report[6], "Analysis Method 2:");
    EXPECT_EQ(tab.Report[7], message);
    // the whole method-0 text, line feeds and all, then a space and the method-1 text
    EXPECT_EQ(tab.AnalystInspectText, message + " " + message);
}

TEST_F(AnalystTabTest, EmptyNameUsesTheLoaderDialogAndKeepsTheList) {
    openDialog.Answers = {WriteImage(test::HexBytes("82 03 0B 01 FF 70"))};
    tab.AnalyzeRecording();
    EXPECT_EQ(tab.Report.size(), 6u);
    EXPECT_EQ(host.FileName, "");
    EXPECT_EQ(host.List[0], "");
}

TEST_F(AnalystTabTest, CancelledOrRefusedLoadLeavesTheReportEmpty) {
    tab.AnalystInspectText = "previous";
    openDialog.Answers = {std::nullopt};
    tab.Report = {"old"};
    tab.AnalyzeRecording();
    EXPECT_TRUE(tab.Report.empty());
    host.FileName = (dir / "bad.wav").string();
    test::WriteFile(host.FileName, test::WavFile("\x80\x80", 8000));
    tab.AnalyzeRecording();
    EXPECT_TRUE(tab.Report.empty());
    EXPECT_EQ(tab.AnalystInspectText, "previous");
    EXPECT_EQ(notices.Notices.size(), 1u);
}

TEST_F(AnalystTabTest, CannotOpenLeavesInspectTextAsItWas) {
    tab.AnalystInspectText = "previous";
    host.FileName = (dir / "missing.wav").string();
    EXPECT_THROW(tab.AnalyzeRecording(), RinglarkError);
    EXPECT_TRUE(tab.Report.empty());
    EXPECT_EQ(tab.AnalystInspectText, "previous");
}

TEST_F(AnalystTabTest, BrowseAndClear) {
    mainOpenDialog.Answers = {"/data/rec.wav", std::nullopt};
    tab.BrowseForRecording();
    EXPECT_EQ(host.FileName, "/data/rec.wav");
    EXPECT_EQ(mainOpenDialog.Showings[0].Filter, "WAV files (*.WAV)|*.WAV");
    EXPECT_EQ(mainOpenDialog.Showings[0].InitialDir, ".\\");
    tab.BrowseForRecording();
    EXPECT_EQ(host.FileName, "/data/rec.wav");
    tab.Report = {"x"};
    tab.AnalystInspectText = "y";
    tab.ClearResults();
    EXPECT_TRUE(tab.Report.empty());
    EXPECT_TRUE(tab.AnalystInspectText.empty());
    EXPECT_EQ(host.InspectorClears, 1);
}

TEST(AnalystReport, EmptyMethod0TextAfterFailure) {
    const TAutoResult result{"FAIL: ", "\x12\x34"};
    EXPECT_EQ(ReportLines(result)[4], "");
}

TEST(AutoAnalyze, NeitherAcceptedGivesFailWithBothTexts) {
    test::TViewerFixture f;
    Bytes image(WavHeaderSize, '\0');
    image += Bytes(1000, '\x80');
    const TAutoResult result = f.viewer.Analyzer.AutoAnalyze(image);
    EXPECT_EQ(result.MethodTag, "FAIL: ");
    EXPECT_EQ(result.Text, "");
    EXPECT_TRUE(result.Failed());
    EXPECT_EQ(f.viewer.Analyzer.Demodulator.AnalysisMethod, TAnalysisMethod::Peak);
    EXPECT_TRUE(f.viewer.Analyzer.QuietAnalysis);
}

TEST_F(AnalystTabTest, AnyRecordingIsReportedHereWithItsDtmfAndItsGainKept) {
    // DTMF caller ID in a 16-bit FLAC file at 8000/s, its tones at about -12 dBFS
    const std::vector<float> samples = ImageSamples(SynthesiseDtmfImage("A4512345678C", 63));
    const auto path = (dir / "dtmf.flac").string();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_write_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    host.FileName = "kept.wav";
    ASSERT_TRUE(tab.AnalyzeAnyRecording(path));
    ASSERT_GE(tab.Report.size(), 5u);
    EXPECT_EQ(tab.Report[0], "Analyze Any Recording: " + path);
    EXPECT_EQ(tab.Report[2], "Here is what I decoded:");
    EXPECT_EQ(tab.Report[3], "(Using the DTMF Detector)");
    EXPECT_EQ(tab.Report[5], "A4512345678C");
    EXPECT_EQ(host.FileName, "kept.wav");  // the tab's own box and list stay
    EXPECT_TRUE(host.Bubbled.empty());
    // the samples' loudest reached 8 bits: the gain is what it took
    float peak = 0;
    for (float v : samples) {
        peak = std::max(peak, std::fabs(v));
    }
    EXPECT_NEAR(viewer.LevelGain, 127.0 / 128.0 / peak, 0.01 * viewer.LevelGain);
    EXPECT_GT(viewer.LevelGain, 1.5);
    // an 8-bit WAV file loaded as it is has no gain
    host.FileName = WriteImage(ExampleMdmfMessage());
    tab.AnalyzeRecording();
    EXPECT_EQ(viewer.LevelGain, 1.0);
}

}  // namespace
}  // namespace ringlark
