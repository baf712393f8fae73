// The line monitor listening to the sound card's input, which ALSA's file
// plugin feeds from a file, offscreen.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "calllog/CallLog.h"
#include "calllog/PhoneBook.h"
#include "core/Bytes.h"
#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "generation/StandardsSynth.h"
#include "monitor/sound/PortAudioInput.h"
#include "monitor/tests/FedInput.h"
#include "monitor/ui/LineMonitorWindow.h"
#include "protocol/MessageFormat.h"
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
    window.InspectMessage = [&](const Bytes& bytes, TCidStandard) { inspected.push_back(bytes); };
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
    EXPECT_EQ(cell(1), "MDMF");
    EXPECT_EQ(cell(2), "8005551212");
    EXPECT_EQ(cell(3), "JOHN DOE (Johnny)");  // the phone book's name beside the network's
    EXPECT_EQ(cell(4), "12/07 09:30");
    EXPECT_EQ(cell(5), "OK");
    // its quality, and the wall clock it was heard at (local time, as the log has it)
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[01]\\.[0-9]{3}$")).match(cell(6)).hasMatch())
        << cell(6).toStdString();
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral("^20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]$"))
            .match(cell(7))
            .hasMatch())
        << cell(7).toStdString();

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

std::vector<float> Quiet(double seconds) {
    return std::vector<float>(static_cast<std::size_t>(seconds * 44100), 0.0f);
}

std::vector<float> Joined(std::initializer_list<std::vector<float>> parts) {
    std::vector<float> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Starts the window on the next input and waits (generously) until it ends.
void ListenToTheEnd(LineMonitorWindow& window) {
    QTest::mouseClick(window.startButton, Qt::LeftButton);
    for (int waited = 0; window.Listening() && waited < 120000; waited += 20) {
        QTest::qWait(20);
    }
    QTest::qWait(50);  // the last queued reports
    ASSERT_FALSE(window.Listening());
}

// A V.23 call set-up: date, number and a name too long for its column.
const Bytes kV23Message = FrameMessage(
    0x80, test::HexBytes("01 08") + "12071030" + test::HexBytes("02 0A") + "0123456789" +
              test::HexBytes("07 28") + "A CALLER NAME MUCH TOO LONG FOR A COLUMN");

TEST(LineMonitorGui, DtmfAndV23RowsInspectInTheirOwnTermsAndEachStartIsMarked) {
    std::vector<std::unique_ptr<ISoundInput>> inputs;
    inputs.push_back(std::make_unique<test::TFedInput>(
        Joined(
            {Quiet(0.2),
             ImageSamples(SynthesiseV23Image(
                 kV23Message, V23TimingFor(TCidStandard::EtsiV23, TSignalling::OnHook, false), 63)),
             Quiet(0.3), ImageSamples(SynthesiseDtmfImage("A4512345678C", 63)), Quiet(0.3)}),
        44100));
    inputs.push_back(std::make_unique<test::TFedInput>(
        Joined({Quiet(0.1), ImageSamples(SynthesiseDtmfImage("A4512345678C", 63)), Quiet(0.3)}),
        44100, std::vector<int>{3}));
    TRecordingErrors errors;
    LineMonitorWindow window(errors, [&](const std::string&) {
        auto next = std::move(inputs.front());
        inputs.erase(inputs.begin());
        return next;
    });
    std::vector<std::pair<Bytes, TCidStandard>> inspected;
    window.InspectMessage = [&](const Bytes& bytes, TCidStandard standard) {
        inspected.emplace_back(bytes, standard);
    };
    window.resize(980, 420);
    window.show();
    EXPECT_FALSE(window.clearButton->isEnabled());
    ListenToTheEnd(window);
    EXPECT_TRUE(errors.Reported.empty());
    EXPECT_EQ(window.statusLabel->text(), "Stopped");
    ASSERT_EQ(window.eventTable->rowCount(), 2);
    const auto cell = [&](int row, int column) {
        return window.eventTable->item(row, column)->text();
    };
    EXPECT_EQ(cell(0, 1), "V.23 MDMF");
    EXPECT_EQ(cell(0, 2), "0123456789");
    EXPECT_EQ(cell(0, 3), "A CALLER NAME MUCH TOO LONG FOR A COLUMN");
    EXPECT_EQ(cell(1, 1), "DTMF");
    EXPECT_EQ(cell(1, 2), "4512345678");
    EXPECT_EQ(cell(1, 8), "A4512345678C");
    window.eventTable->selectRow(0);
    QTest::mouseClick(window.inspectButton, Qt::LeftButton);
    ASSERT_EQ(inspected.size(), 1u);
    EXPECT_EQ(inspected[0].first, kV23Message);
    EXPECT_EQ(inspected[0].second, TCidStandard::EtsiV23);
    window.eventTable->selectRow(1);
    EXPECT_FALSE(window.inspectButton->isEnabled());  // digits: no bytes to inspect

    // The long name is cut to its column, whole in its tool tip; Details
    // takes the rest of the width, and Date/Time and Checksum stay in view.
    const QHeaderView* header = window.eventTable->horizontalHeader();
    const int viewport = window.eventTable->viewport()->width();
    EXPECT_LE(header->sectionSize(3),
              window.eventTable->fontMetrics().averageCharWidth() * LineMonitorNarrowColumnChars);
    EXPECT_EQ(window.eventTable->item(0, 3)->toolTip(), "A CALLER NAME MUCH TOO LONG FOR A COLUMN");
    EXPECT_LE(header->sectionViewportPosition(7) + header->sectionSize(7), viewport);
    EXPECT_EQ(header->sectionViewportPosition(8) + header->sectionSize(8), viewport);

    // A second Start is set apart; the input lost samples once.
    ListenToTheEnd(window);
    ASSERT_EQ(window.eventTable->rowCount(), 4);
    EXPECT_EQ(cell(2, 0), "\u2014 Start 2 \u2014");
    EXPECT_EQ(window.eventTable->columnSpan(2, 0), 9);
    EXPECT_EQ(cell(3, 1), "DTMF");
    EXPECT_EQ(cell(3, 0), "0.100 s");
    EXPECT_EQ(window.statusLabel->text(), "Stopped; input lost 1 time");

    EXPECT_TRUE(window.clearButton->isEnabled());
    QTest::mouseClick(window.clearButton, Qt::LeftButton);
    EXPECT_EQ(window.eventTable->rowCount(), 0);
    EXPECT_FALSE(window.clearButton->isEnabled());
    EXPECT_FALSE(window.inspectButton->isEnabled());
}

TEST(LineMonitorGui, CallsHeardBehindOtherWindowsAreNotifiedAndRefusedReadingsListed) {
    const Bytes call = ExampleMdmfMessage();
    Bytes spoilt = call;
    spoilt.back() = static_cast<char>(spoilt.back() + 1);
    const Bytes vmwi = FrameMessage(0x82, test::HexBytes("0B 01 FF"));
    TFskSynth synth;
    const auto fsk = [&](const Bytes& m) {
        return ImageSamples(SynthesiseImage(synth, m, TSignalling::OnHook));
    };
    const std::vector<float> line =
        Joined({Quiet(0.2), fsk(call), Quiet(0.3), fsk(spoilt), Quiet(0.3), fsk(vmwi), Quiet(0.3),
                ImageSamples(SynthesiseDtmfImage("A4512345678C", 63)), Quiet(0.3)});
    TRecordingErrors errors;
    LineMonitorWindow window(
        errors, [&](const std::string&) { return std::make_unique<test::TFedInput>(line, 44100); });
    std::vector<std::string> notices;
    window.Notify = [&](const TCallNotice& n) { notices.push_back(n.Title + " / " + n.Body); };
    bool inFront = false;
    window.InFront = [&] { return inFront; };
    window.logBox->setChecked(false);
    test::TTempDir dir;
    const std::string heard = (dir / "hook.txt").string();
    window.hookBox->setText(QString::fromStdString(
        "printf '%s|%s|%s\\n' \"$RINGLARK_KIND\" \"$RINGLARK_NUMBER\" \"$RINGLARK_NAME\" >> " +
        heard));
    window.show();
    EXPECT_TRUE(window.notifyBox->isChecked());

    ListenToTheEnd(window);
    // the command ran once per message accepted, as `listen --exec` runs it (in
    // any order: each runs on its own); not for the refused reading
    std::vector<std::string> hooked;
    std::istringstream lines(test::ReadFile(heard));
    for (std::string line; std::getline(lines, line);) {
        hooked.push_back(line);
    }
    std::sort(hooked.begin(), hooked.end());
    EXPECT_EQ(hooked,
              (std::vector<std::string>{"DTMF|4512345678|", "MDMF|8005551212|JOHN DOE", "VMWI||"}));
    window.hookBox->clear();
    EXPECT_TRUE(errors.Reported.empty());
    ASSERT_EQ(window.eventTable->rowCount(), 4);
    const auto cell = [&](int row, int column) {
        return window.eventTable->item(row, column)->text();
    };
    // the spoilt message: what was read, and why it was refused
    EXPECT_EQ(cell(1, 2), "8005551212");
    EXPECT_EQ(cell(1, 5), "Failed");
    EXPECT_TRUE(cell(1, 8).startsWith(QStringLiteral("refused: checksum fails")))
        << cell(1, 8).toStdString();
    // the call and the DTMF caller ID are notified; the refused reading and
    // message waiting are not
    EXPECT_EQ(notices, (std::vector<std::string>{"Call from 8005551212 / JOHN DOE",
                                                 "Call from 4512345678 / No name sent"}));
    // in front, or switched off: no notice
    inFront = true;
    ListenToTheEnd(window);
    inFront = false;
    window.notifyBox->setChecked(false);
    ListenToTheEnd(window);
    EXPECT_EQ(notices.size(), 2u);
    EXPECT_EQ(window.eventTable->rowCount(), 14);  // two more runs, each with its separator
}

TEST(LineMonitorGui, TheSettingsKeptBetweenRunsGoInAndComeBack) {
    TRecordingErrors errors;
    LineMonitorWindow window(
        errors, [](const std::string&) -> std::unique_ptr<ISoundInput> { return nullptr; });
    // the defaults: the call log beside the configuration, notices on, no command
    EXPECT_EQ(window.LogFileSetting(), "");
    EXPECT_TRUE(window.NotifySetting());
    EXPECT_EQ(window.HookSetting(), "");
    window.ApplySettings("/srv/line/calls.sqlite", false, "logger \"$RINGLARK_NUMBER\"");
    EXPECT_EQ(window.logFileBox->text(), "/srv/line/calls.sqlite");
    EXPECT_FALSE(window.notifyBox->isChecked());
    EXPECT_EQ(window.hookBox->text(), "logger \"$RINGLARK_NUMBER\"");
    EXPECT_EQ(window.LogFileSetting(), "/srv/line/calls.sqlite");
    EXPECT_FALSE(window.NotifySetting());
    EXPECT_EQ(window.HookSetting(), "logger \"$RINGLARK_NUMBER\"");
    window.ApplySettings("", true, "");
    EXPECT_EQ(window.logFileBox->text().toStdString(), DefaultCallLogPath());
    EXPECT_EQ(window.LogFileSetting(), "");
}

TEST(LineMonitorGui, AnExistingRecordingIsReplacedOnlyAfterYesAsSaveAsks) {
    test::TTempDir dir;
    const auto path = (dir / "kept.wav").string();
    test::WriteFile(path, "earlier");
    TRecordingErrors errors;
    int opened = 0;
    LineMonitorWindow window(errors, [&](const std::string&) -> std::unique_ptr<ISoundInput> {
        ++opened;
        return std::make_unique<test::TFedInput>(Quiet(0.2), 44100);
    });
    test::TScriptedNotices notices;
    notices.Answers = {TDialogAnswer::No, TDialogAnswer::Cancel, TDialogAnswer::Yes};
    window.Notices = &notices;
    window.show();
    window.recordBox->setChecked(true);
    window.recordFileBox->setText(QString::fromStdString(path));
    for (int i = 0; i < 2; ++i) {  // No, then Cancel: nothing starts, the file stays
        QTest::mouseClick(window.startButton, Qt::LeftButton);
        EXPECT_FALSE(window.Listening());
    }
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(test::ReadFile(path), "earlier");
    ListenToTheEnd(window);  // Yes
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(notices.Questions,
              std::vector<std::string>(3, "File " + path + " exists.  Replace?"));
    EXPECT_EQ(test::ReadFile(path).substr(0, 4), "RIFF");
    EXPECT_TRUE(errors.Reported.empty());
}

}  // namespace
}  // namespace ringlark::ui
