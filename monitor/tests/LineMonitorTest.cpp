#include "monitor/LineMonitor.h"

#include <gtest/gtest.h>

#include <atomic>

#include "generation/MessageBuilder.h"
#include "generation/StandardsSynth.h"
#include "monitor/LineListener.h"
#include "monitor/WavRecorder.h"
#include "monitor/tests/FedInput.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

TStreamEvent MessageEvent(const Bytes& message, bool uncertain = false) {
    TStreamEvent e;
    e.Kind = TStreamEvent::TKind::Message;
    e.Message.Seconds = 12.3456;
    e.Message.Message = message;
    e.Message.Uncertain = uncertain;
    e.Message.Quality = 0.8612;
    return e;
}

TEST(LineMonitorRow, SplitsAMessagesValuesIntoTheirColumns) {
    const Bytes message = ExampleMdmfMessage();
    const TLineMonitorRow row = LineMonitorRow(MessageEvent(message));
    EXPECT_EQ(row.Cells, (std::array<std::string, 9>{"12.346 s", "MDMF", "8005551212", "JOHN DOE",
                                                     "12/07 09:30", "OK", "0.861", "", ""}));
    EXPECT_EQ(row.Message, message);

    const Bytes vmwi = test::HexBytes("82 03 0B 01 FF 70");
    EXPECT_EQ(LineMonitorRow(MessageEvent(vmwi, true)).Cells,
              (std::array<std::string, 9>{"12.346 s", "VMWI", "", "", "", "Uncertain", "0.861", "",
                                          "VMWI Status: On"}));
    EXPECT_EQ(LineMonitorRow(MessageEvent(test::HexBytes("81 01 00 7E"))).Cells[1], "Message");
    const Bytes sdmf = test::HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1");
    EXPECT_EQ(LineMonitorRow(MessageEvent(sdmf)).Cells[2], "1234");
    EXPECT_EQ(LineMonitorRow(MessageEvent(sdmf)).Cells[4], "01/01 12:00");
}

TEST(LineMonitorRow, TonesShowTheirMeasures) {
    TStreamEvent e;
    e.Kind = TStreamEvent::TKind::DualTone;
    e.Tone = {TAlertTone::TKind::DualTone, 0.3, 0.0999, 2129.94, 2750.02, -6.21, -6.24};
    const TLineMonitorRow cas = LineMonitorRow(e);
    EXPECT_EQ(cas.Cells, (std::array<std::string, 9>{"0.300 s", "CAS", "", "", "", "", "", "",
                                                     "99.9 ms, 2129.9 Hz -6.2 dBFS + 2750.0 Hz "
                                                     "-6.2 dBFS"}));
    EXPECT_TRUE(cas.Message.empty());
    e.Kind = TStreamEvent::TKind::Subscriber;
    e.Tone = {TAlertTone::TKind::Subscriber, 0, 0.3, 440.04, 0, -12.0, 0};
    EXPECT_EQ(LineMonitorRow(e).Cells[1], "SAS");
    EXPECT_EQ(LineMonitorRow(e).Cells[8], "300.0 ms, 440.0 Hz -12.0 dBFS");
}

TEST(LineMonitorRow, DtmfCallerIdShowsItsNumberNotAnAlertTone) {
    TStreamEvent e;
    e.Kind = TStreamEvent::TKind::Dtmf;
    e.Dtmf = {1.5, "A4512345678C"};
    const TLineMonitorRow row = LineMonitorRow(e);
    EXPECT_EQ(row.Cells, (std::array<std::string, 9>{"1.500 s", "DTMF", "4512345678", "", "", "-",
                                                     "", "", "A4512345678C"}));
    EXPECT_TRUE(row.Message.empty());
    EXPECT_EQ(row.Standard, TCidStandard::Dtmf);
    e.Dtmf = {0.2, "B10C"};
    EXPECT_EQ(LineMonitorRow(e).Cells[1], "DTMF");
    EXPECT_EQ(LineMonitorRow(e).Cells[8].rfind("B10C; ", 0), 0u);
}

TEST(LineMonitorRow, AMessageCarriesItsStandardForTheInspector) {
    TStreamEvent e = MessageEvent(test::HexBytes("80 0C 01 08 30 31 30 31 31 32 30 30 02 00 3B"));
    e.Message.Standard = TCidStandard::EtsiV23;
    const TLineMonitorRow row = LineMonitorRow(e);
    EXPECT_EQ(row.Standard, TCidStandard::EtsiV23);
    EXPECT_EQ(row.Cells[1], "V.23 MDMF");
    EXPECT_EQ(LineMonitorRow(MessageEvent(ExampleMdmfMessage())).Standard, TCidStandard::Bell202);
}

TEST(LineMonitorLog, EachStartAfterTheFirstIsMarkedAndClearStartsAfresh) {
    TLineMonitorLog log;
    EXPECT_EQ(log.BeginRun(), nullptr);  // nothing to set apart yet
    log.Add(MessageEvent(ExampleMdmfMessage()));
    const TLineMonitorRow* separator = log.BeginRun();
    ASSERT_NE(separator, nullptr);
    EXPECT_TRUE(separator->Separator);
    EXPECT_EQ(separator->Cells[0], "\xE2\x80\x94 Start 2 \xE2\x80\x94");
    EXPECT_TRUE(separator->Message.empty());
    log.Add(MessageEvent(ExampleMdmfMessage()));
    ASSERT_EQ(log.Rows().size(), 3u);
    EXPECT_FALSE(log.Rows()[2].Separator);
    EXPECT_EQ(log.BeginRun()->Cells[0], "\xE2\x80\x94 Start 3 \xE2\x80\x94");
    log.Clear();
    EXPECT_TRUE(log.Rows().empty());
    EXPECT_EQ(log.Runs(), 0);
    EXPECT_EQ(log.BeginRun(), nullptr);
    EXPECT_EQ(log.Runs(), 1);
}

TEST(LineMonitorStatus, LostInputIsSaidInEveryStatus) {
    EXPECT_EQ(ListeningStatus(44100, 0), "Listening at 44100/s");
    EXPECT_EQ(ListeningStatus(48000, 1), "Listening at 48000/s; input lost 1 time");
    EXPECT_EQ(StoppedStatus(0), "Stopped");
    EXPECT_EQ(StoppedStatus(3), "Stopped; input lost 3 times");
    EXPECT_EQ(RecordedStatus(12.34, "x.wav", 0), "Recorded 12.3 s to x.wav");
    EXPECT_EQ(RecordedStatus(2, "x.wav", 2), "Recorded 2.0 s to x.wav; input lost 2 times");
}

TEST(LineListener, ReportsEachLossOfInputWithWhereItHappened) {
    test::TFedInput input(std::vector<float>(8000, 0.0f), 8000, {2, 2, 5});  // 160-sample blocks
    TLineListener listener(input, nullptr);
    std::vector<std::pair<int, double>> lost;
    listener.OnInputLost = [&](int times, double seconds) { lost.emplace_back(times, seconds); };
    const std::atomic<bool> stop{false};
    listener.Run(stop);
    EXPECT_EQ(lost, (std::vector<std::pair<int, double>>{{2, 0.06}, {3, 0.12}}));
    EXPECT_EQ(listener.InputLost(), 3);

    test::TFedInput clean(std::vector<float>(800, 0.0f), 8000);
    TLineListener quiet(clean, nullptr);
    quiet.OnInputLost = [&](int, double) { FAIL() << "nothing was lost"; };
    quiet.Run(stop);
    EXPECT_EQ(quiet.InputLost(), 0);
}

TEST(WavRecorder, WritesSixteenBitSamplesClippedAndAValidHeaderAsItGoes) {
    test::TTempDir dir;
    const auto path = (dir / "r.wav").string();
    TWavRecorder recorder(path, 8000);
    const std::vector<float> samples = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 2.0f, -3.0f, NAN};
    recorder.Append(samples);
    // a second's worth brings the header up to date on the way
    recorder.Append(std::vector<float>(8000, 0.25f));
    const Bytes midway = test::ReadFile(recorder.TemporaryName());
    EXPECT_EQ(ReadLe32(midway, 40), 2u * 8008);
    ASSERT_TRUE(recorder.Finish(false));
    const Bytes file = test::ReadFile(path);
    EXPECT_EQ(file.substr(0, 44), TWavRecorder::Header(8000, 8008));
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(ReadLe32(file, 4), file.size() - 8);
    EXPECT_EQ(ReadLe16(file, 34), 16);
    EXPECT_EQ(file.substr(44, 16),
              test::HexBytes("00 00 00 40 00 C0 FF 7F 00 80 FF 7F 00 80 00 00"));
    EXPECT_EQ(file.substr(60, 2), test::HexBytes("00 20"));
}

}  // namespace
}  // namespace ringlark
