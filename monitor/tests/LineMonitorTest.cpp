#include "monitor/LineMonitor.h"

#include <gtest/gtest.h>

#include "generation/MessageBuilder.h"
#include "monitor/WavRecorder.h"
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
    return e;
}

TEST(LineMonitorRow, SplitsAMessagesValuesIntoTheirColumns) {
    const Bytes message = ExampleMdmfMessage();
    const TLineMonitorRow row = LineMonitorRow(MessageEvent(message));
    EXPECT_EQ(row.Cells, (std::array<std::string, 7>{"12.346 s", "Message", "8005551212",
                                                     "JOHN DOE", "12/07 09:30", "OK", ""}));
    EXPECT_EQ(row.Message, message);

    const Bytes vmwi = test::HexBytes("82 03 0B 01 FF 70");
    EXPECT_EQ(LineMonitorRow(MessageEvent(vmwi, true)).Cells,
              (std::array<std::string, 7>{"12.346 s", "Message", "", "", "", "Uncertain",
                                          "VMWI Status: On"}));
    const Bytes sdmf = test::HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1");
    EXPECT_EQ(LineMonitorRow(MessageEvent(sdmf)).Cells[2], "1234");
    EXPECT_EQ(LineMonitorRow(MessageEvent(sdmf)).Cells[4], "01/01 12:00");
}

TEST(LineMonitorRow, TonesShowTheirMeasures) {
    TStreamEvent e;
    e.Kind = TStreamEvent::TKind::DualTone;
    e.Tone = {TAlertTone::TKind::DualTone, 0.3, 0.0999, 2129.94, 2750.02, -6.21, -6.24};
    const TLineMonitorRow cas = LineMonitorRow(e);
    EXPECT_EQ(cas.Cells, (std::array<std::string, 7>{"0.300 s", "CAS", "", "", "", "",
                                                     "99.9 ms, 2129.9 Hz -6.2 dBFS + 2750.0 Hz "
                                                     "-6.2 dBFS"}));
    EXPECT_TRUE(cas.Message.empty());
    e.Kind = TStreamEvent::TKind::Subscriber;
    e.Tone = {TAlertTone::TKind::Subscriber, 0, 0.3, 440.04, 0, -12.0, 0};
    EXPECT_EQ(LineMonitorRow(e).Cells[1], "SAS");
    EXPECT_EQ(LineMonitorRow(e).Cells[6], "300.0 ms, 440.0 Hz -12.0 dBFS");
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
