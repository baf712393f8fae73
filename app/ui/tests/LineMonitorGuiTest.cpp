// The line monitor listening to the sound card's input, which ALSA's file
// plugin feeds from a file, offscreen.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "calllog/CallLog.h"
#include "calllog/PhoneBook.h"
#include "core/Bytes.h"
#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "monitor/sound/PortAudioInput.h"
#include "monitor/ui/LineMonitorWindow.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark::ui {

extern std::filesystem::path gInfeed;  // what the capture device reads

namespace {

class TRecordingErrors : public IErrorReporter {
  public:
    std::vector<std::string> Reported;
    void ReportError(const std::string& text) override { Reported.push_back(text); }
};

std::unique_ptr<ISoundInput> OpenDevice(const std::string& device) {
    return std::make_unique<TPortAudioInput>(device, 44100);
}

TEST(LineMonitorGui, ListsTheMessageHeardInspectsItAndKeepsTheRecording) {
    const Bytes message = ExampleMdmfMessage();
    TFskSynth synth;
    const Bytes image = SynthesiseImage(synth, message, TSignalling::OnHook);
    Bytes raw;
    for (std::size_t i = 44; i < image.size(); ++i) {
        const int v = (static_cast<uint8_t>(image[i]) - 128) * 256;
        raw += static_cast<char>(v & 0xFF);
        raw += static_cast<char>((v >> 8) & 0xFF);
    }
    test::WriteFile(gInfeed, raw);
    test::TTempDir dir;
    const auto recording = dir / "heard.wav";

    TRecordingErrors errors;
    LineMonitorWindow window(errors, OpenDevice);
    std::vector<Bytes> inspected;
    window.InspectMessage = [&](const Bytes& bytes) { inspected.push_back(bytes); };
    window.FillDevices();
    EXPECT_EQ(window.deviceBox->itemText(0), "Default input");
    window.show();
    window.recordBox->setChecked(true);
    window.recordFileBox->setText(QString::fromStdString(recording.string()));
    // by default the calls go to the log beside the configuration
    EXPECT_TRUE(window.logBox->isChecked());
    EXPECT_EQ(window.logFileBox->text().toStdString(),
              std::string(std::getenv("XDG_CONFIG_HOME")) + "/Ringlark/calls.sqlite");
    const std::string logPath = (dir / "calls.sqlite").string();
    {
        TCallLog log(logPath, true);
        TPhoneBook(log).Import({{"Johnny", "800 555 1212"}});
    }
    window.logFileBox->setText(QString::fromStdString(logPath));
    QTest::mouseClick(window.startButton, Qt::LeftButton);
    EXPECT_EQ(window.startButton->text(), "Stop");
    EXPECT_FALSE(window.deviceBox->isEnabled());
    for (int waited = 0; window.eventTable->rowCount() == 0 && waited < 60000; waited += 20) {
        QTest::qWait(20);
    }
    QTest::mouseClick(window.startButton, Qt::LeftButton);
    test::WriteFile(gInfeed, "");
    EXPECT_EQ(window.startButton->text(), "Start");
    EXPECT_FALSE(window.Listening());
    EXPECT_TRUE(errors.Reported.empty());
    ASSERT_GE(window.eventTable->rowCount(), 1);
    const auto cell = [&](int column) { return window.eventTable->item(0, column)->text(); };
    EXPECT_EQ(cell(0), "0.400 s");
    EXPECT_EQ(cell(1), "Message");
    EXPECT_EQ(cell(2), "8005551212");
    EXPECT_EQ(cell(3), "JOHN DOE (Johnny)");  // the phone book's name beside the network's
    EXPECT_EQ(cell(4), "12/07 09:30");
    EXPECT_EQ(cell(5), "OK");

    EXPECT_FALSE(window.inspectButton->isEnabled());
    window.eventTable->selectRow(0);
    EXPECT_TRUE(window.inspectButton->isEnabled());
    // The README's picture of the window, when asked for.
    if (const char* folder = std::getenv("RINGLARK_SCREENSHOTS")) {
        window.grab().save(QString::fromLocal8Bit(folder) + "/ringlark-line-monitor.png");
    }
    QTest::mouseClick(window.inspectButton, Qt::LeftButton);
    ASSERT_EQ(inspected.size(), 1u);
    EXPECT_EQ(inspected[0], message);

    // the message is in the call log with the contact's name, the device as its input
    TCallLog log(logPath, false);
    const std::vector<TCallRecord> rows = log.Find({});
    ASSERT_GE(rows.size(), 1u);
    EXPECT_EQ(rows[0].Kind, "MDMF");
    EXPECT_EQ(rows[0].Input, "Default input");
    EXPECT_EQ(rows[0].Number, "8005551212");
    EXPECT_EQ(rows[0].Name, "JOHN DOE");
    EXPECT_EQ(rows[0].Contact, "Johnny");
    EXPECT_EQ(rows[0].Raw, message);

    // the recording starts with what the device was fed, under a valid header
    const Bytes recorded = test::ReadFile(recording);
    ASSERT_GE(recorded.size(), 44 + raw.size());
    EXPECT_EQ(ReadLe32(recorded, 40), recorded.size() - 44);
    EXPECT_EQ(recorded.substr(44, raw.size()), raw);
}

TEST(LineMonitorGui, AnInputThatCannotBeOpenedIsReported) {
    TRecordingErrors errors;
    LineMonitorWindow window(errors, [](const std::string& device) -> std::unique_ptr<ISoundInput> {
        return std::make_unique<TPortAudioInput>(device, 44100);
    });
    window.FillDevices();
    window.deviceBox->addItem(QStringLiteral("gone"), QStringLiteral("no such device"));
    window.deviceBox->setCurrentIndex(window.deviceBox->count() - 1);
    QTest::mouseClick(window.startButton, Qt::LeftButton);
    EXPECT_FALSE(window.Listening());
    EXPECT_EQ(window.startButton->text(), "Start");
    ASSERT_EQ(errors.Reported.size(), 1u);
    EXPECT_EQ(errors.Reported[0],
              "Cannot open the sound input: no input device is named no such device");
}

}  // namespace
}  // namespace ringlark::ui
