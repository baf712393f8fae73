// The Diagnose Line window on a recording and on a fed sound input,
// offscreen: the same report as the command line.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cstdlib>

#include "core/RinglarkError.h"
#include "diagnosis/LineRecording.h"
#include "diagnosis/ui/DiagnoseLineWindow.h"
#include "monitor/tests/FedInput.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"
#include "testsignal/TestSignal.h"

namespace ringlark::ui {
namespace {

class TRecordingErrors : public IErrorReporter {
  public:
    std::vector<std::string> Reported;
    void ReportError(const std::string& text) override { Reported.push_back(text); }
};

// Bell 202 caller ID between the first and second ring of North American
// ringing.
std::vector<float> Line(double rate) {
    TLineRecordingLayout layout;
    layout.Rate = rate;
    layout.Seconds = 9;
    layout.Rings = NorthAmericanCadence(0.5, 2);
    TTestSignal s;
    s.Rate = static_cast<int>(rate);
    s.Message = ExampleMdmfMessage();
    s.Impairments.LevelDbfs = -20;
    layout.Signals.push_back({3.3, SynthesiseTestSignal(s)});
    return SynthesiseLineRecording(layout);
}

const std::vector<std::string> kSentences = {
    "Caller ID is sent as Bell 202 FSK between the first and second ring.",
    "Level -20.0 dBFS; not sure whether that is within limits, as the recording's level in dBm is "
    "not known.",
    "1 call heard; all decoded; checksums good."};

bool WaitForReport(const DiagnoseLineWindow& window) {
    return QTest::qWaitFor([&] { return !window.Report().Sentences.empty(); }, 60000);
}

TEST(DiagnoseLineWindow, ShowsTheReportOfARecording) {
    test::TTempDir dir;
    const auto wav = dir / "line.wav";
    test::WriteFile(wav, EncodeWav(Line(44100), 44100, TSampleFormat::S16));
    TRecordingErrors errors;
    DiagnoseLineWindow window(errors, [](const std::string&) -> std::unique_ptr<ISoundInput> {
        throw RinglarkError("no device");
    });
    window.OpenRecording(wav.string());
    ASSERT_TRUE(WaitForReport(window));
    EXPECT_EQ(window.Report().Sentences, kSentences);
    EXPECT_EQ(window.summaryLabel->text().toStdString(),
              kSentences[0] + " " + kSentences[1] + " " + kSentences[2]);
    const std::string text = window.reportView->toPlainText().toStdString();
    EXPECT_EQ(text.rfind("Line diagnosis of " + wav.string() + ": 9.0 s at 44100 samples/s", 0), 0u)
        << text;
    EXPECT_NE(text.find("80 20 01 08 31 32 30 37 30 39 33 30"), std::string::npos) << text;
    EXPECT_NE(text.find("Telephone or caller-ID box: The set must support Bell 202"),
              std::string::npos);
    EXPECT_TRUE(errors.Reported.empty());
    EXPECT_TRUE(window.openButton->isEnabled());

    // a file that is not there: the loader's reason, nothing diagnosed
    window.OpenRecording((dir / "none.wav").string());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.Reported.empty(); }, 60000));
    EXPECT_NE(errors.Reported[0].find("none.wav"), std::string::npos) << errors.Reported[0];
    EXPECT_EQ(window.statusLabel->text().toStdString(), "Nothing diagnosed.");
}

TEST(DiagnoseLineWindow, ListensToAnInputUntilItEndsOrIsStopped) {
    TRecordingErrors errors;
    std::vector<float> heard = Line(8000);
    std::string opened = "unset";
    DiagnoseLineWindow window(errors, [&](const std::string& device) {
        opened = device;
        return std::make_unique<test::TFedInput>(heard, 8000.0);
    });
    window.StartListening();
    EXPECT_EQ(opened, "");
    ASSERT_TRUE(WaitForReport(window));
    EXPECT_EQ(window.Report().Sentences, kSentences);
    EXPECT_EQ(window.listenButton->text().toStdString(), "&Listen");

    // an input that never ends: Stop and Diagnose ends it
    heard.resize(static_cast<std::size_t>(8000 * 120), 0.0f);
    DiagnoseLineWindow endless(errors, [&](const std::string&) {
        return std::make_unique<test::TFedInput>(heard, 8000.0);
    });
    endless.StartListening();
    EXPECT_EQ(endless.listenButton->text().toStdString(), "&Stop and Diagnose");
    endless.StopListening();
    ASSERT_TRUE(WaitForReport(endless));
    EXPECT_FALSE(endless.Report().Sentences.empty());

    // a device that cannot be opened: its reason, no listening
    DiagnoseLineWindow broken(errors, [](const std::string&) -> std::unique_ptr<ISoundInput> {
        throw RinglarkError("Cannot open the sound input: no device");
    });
    broken.StartListening();
    ASSERT_FALSE(errors.Reported.empty());
    EXPECT_EQ(errors.Reported.back(), "Cannot open the sound input: no device");
    EXPECT_FALSE(broken.Busy());
}

}  // namespace
}  // namespace ringlark::ui

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
