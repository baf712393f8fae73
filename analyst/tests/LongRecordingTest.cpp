// A recording too long for the viewer: the list of its messages and the
// excerpt opened for one of them.
#include "analyst/LongRecording.h"

#include <gtest/gtest.h>

#include "analyst/AnalystTab.h"
#include "analyst/tests/AnalystTestSupport.h"
#include "analyst/tests/CallsRecording.h"
#include "core/RinglarkError.h"

namespace ringlark {
namespace {

class LongRecordingTest : public ::testing::Test, protected test::TViewerFixture {
  protected:
    // Scans the whole recording into the list, as the window's thread would.
    void ScanInto(const std::string& path) {
        const int scan = list.Begin(path, ReadRecordingInfo(path));
        TScanCallbacks callbacks;
        callbacks.Found = [&](const TStreamEvent& e, double heard) { list.Found(scan, e, heard); };
        callbacks.Progress = [&](int64_t done, int64_t total) {
            list.Progressed(scan, done, total);
        };
        list.Finished(scan, ScanRecording(path, callbacks));
    }

    test::TTempDir dir;
    TPlainAnalystHost host;
    test::TScriptedFileDialog mainOpenDialog;
    TAnalystTab tab{host, viewer, mainOpenDialog};
    TLongRecordingList list{tab};
};

TEST(LongRecordingText, ClockAndNotice) {
    EXPECT_EQ(ClockText(0, false), "0:00:00");
    EXPECT_EQ(ClockText(86400, false), "24:00:00");
    EXPECT_EQ(ClockText(5025.64, true), "1:23:45.6");
    EXPECT_EQ(ClockText(59.96, true), "0:01:00.0");
    EXPECT_EQ(ClockText(59.96, false), "0:01:00");
    EXPECT_EQ(ClockText(-1, true), "0:00:00.0");
    EXPECT_EQ(TooLongNotice(86400),
              "This recording is 24:00:00 long, too long to show in the viewer. Its messages are "
              "listed instead.");
}

TEST(LongRecordingText, RowsOfEachKind) {
    TStreamEvent message;
    message.Message.Seconds = 3723.44;
    message.Message.Message = test::HexBytes("82 03 0B 01 FF 70");
    TLongRecordingRow row = LongRecordingRow(message, 3724.0);
    EXPECT_EQ(row.Time, "1:02:03.4");
    EXPECT_EQ(row.Tag, "CORR");
    EXPECT_EQ(row.Hex, "82 03 0B 01 FF 70");
    EXPECT_EQ(row.Fields, "VMWI Status: On");
    EXPECT_FALSE(row.Uncertain);
    EXPECT_DOUBLE_EQ(row.End, 3723.44 + 6 * 10 / 1200.0);  // six bytes at 1200 bits a second

    message.Message.Standard = TCidStandard::EtsiV23;
    message.Message.Uncertain = true;
    message.Message.Alternative = test::HexBytes("82 03 0B 01 00 6F");
    row = LongRecordingRow(message, 3724.0);
    EXPECT_EQ(row.Tag, "V23");
    EXPECT_TRUE(row.Uncertain);
    EXPECT_EQ(row.Fields, "Uncertain: another reading also fits: 82 03 0B 01 00 6F");

    TStreamEvent dtmf;
    dtmf.Kind = TStreamEvent::TKind::Dtmf;
    dtmf.Dtmf = {12.25, "A8005551212C"};
    row = LongRecordingRow(dtmf, 14.5);
    EXPECT_EQ(row.Time, "0:00:12.3");  // 12.25 rounds half up
    EXPECT_EQ(row.Tag, "DTMF");
    EXPECT_EQ(row.Hex, "A8005551212C");
    EXPECT_EQ(row.Fields, "Calling Number: 8005551212");
    EXPECT_EQ(row.End, 14.5);  // where the scan had read

    TStreamEvent tone;
    tone.Kind = TStreamEvent::TKind::DualTone;
    tone.Tone = {TAlertTone::TKind::DualTone, 2.0, 0.1, 2130, 2750, -12.2, -12.26};
    row = LongRecordingRow(tone, 3);
    EXPECT_EQ(row.Tag, "CAS");
    EXPECT_EQ(row.Hex, "");
    EXPECT_EQ(row.Fields, "100.0 ms, 2130.0 Hz -12.2 dBFS + 2750.0 Hz -12.3 dBFS");
    EXPECT_DOUBLE_EQ(row.End, 2.1);
    tone.Kind = TStreamEvent::TKind::Subscriber;
    tone.Tone = {TAlertTone::TKind::Subscriber, 1.0, 0.3, 440, 0, -6.5, 0};
    EXPECT_EQ(LongRecordingRow(tone, 3).Tag, "SAS");
    EXPECT_EQ(LongRecordingRow(tone, 3).Fields, "300.0 ms, 440.0 Hz -6.5 dBFS");
}

TEST_F(LongRecordingTest, TooLongIsDecidedAtTheLimit) {
    const auto path = (dir / "calls.wav").string();
    test::WriteCallsRecording(path, 8000, 1);  // 17 s
    EXPECT_EQ(tab.ViewerLimitSeconds, 600);
    EXPECT_FALSE(tab.TooLongForViewer(path));
    tab.ViewerLimitSeconds = 17;  // exactly its length: shown in the viewer
    EXPECT_FALSE(tab.TooLongForViewer(path));
    tab.ViewerLimitSeconds = 17 - 1 / 8000.0;  // one frame longer than the limit
    EXPECT_TRUE(tab.TooLongForViewer(path));
    EXPECT_EQ(test::ErrorOf([&] { tab.TooLongForViewer((dir / "none.wav").string()); }),
              "Cannot open file " + (dir / "none.wav").string());
}

TEST_F(LongRecordingTest, EachMessageIsListedAndItsExcerptDecodesToItInTheViewer) {
    const auto path = (dir / "calls.wav").string();
    const test::TCallsRecording recording = test::WriteCallsRecording(path, 8000, 2);
    ScanInto(path);
    EXPECT_EQ(list.Heading(), TooLongNotice(17));
    EXPECT_EQ(list.Status(), "Scanned 0:00:17: 6 found");
    EXPECT_EQ(list.PerMille(), 1000);
    EXPECT_FALSE(list.Scanning());
    EXPECT_FALSE(list.CanCancel());
    const auto& rows = list.Rows();
    ASSERT_EQ(rows.size(), recording.Events.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].Tag, recording.Events[i].Tag);
        EXPECT_EQ(rows[i].Time, ClockText(recording.Events[i].Seconds, true));
    }
    EXPECT_EQ(rows[0].Hex, test::ToHex(ExampleMdmfMessage()));
    EXPECT_EQ(rows[0].Fields,
              "Date: 12/07; Time: 09:30; Calling Number: 8005551212; Calling Name: JOHN DOE");
    EXPECT_EQ(rows[2].Fields, "Calling Number: 8005551212");

    // each message's excerpt, from 2 s before it to 3 s after its end, reads as
    // that message in the analyst tab
    for (const int row : {0, 1, 2, 5}) {
        const test::TExpectedEvent& expected = recording.Events[static_cast<std::size_t>(row)];
        ASSERT_TRUE(list.CanOpen(row));
        const auto [from, to] = list.Excerpt(row);
        EXPECT_DOUBLE_EQ(from, std::max(0.0, rows[static_cast<std::size_t>(row)].Seconds - 2));
        EXPECT_DOUBLE_EQ(to, std::min(17.0, rows[static_cast<std::size_t>(row)].End + 3));
        ASSERT_TRUE(list.Open(row)) << row;
        EXPECT_EQ(tab.LastResult.Text, expected.Message) << row;
        EXPECT_EQ(tab.LastResult.Standard(), expected.Tag == "DTMF"  ? TCidStandard::Dtmf
                                             : expected.Tag == "V23" ? TCidStandard::EtsiV23
                                                                     : TCidStandard::Bell202);
        EXPECT_FALSE(tab.LastResult.Failed()) << row;
        EXPECT_FALSE(tab.LastResult.Uncertain) << row;
        EXPECT_EQ(tab.Report[0], "Analyze Any Recording: " + path + ", " + ClockText(from, true) +
                                     " to " + ClockText(to, true));
        EXPECT_EQ(viewer.Caption, "Waveform Viewer - calls.wav " + ClockText(from, true) + " to " +
                                      ClockText(to, true));
        EXPECT_NEAR(static_cast<double>(viewer.LoadedImage.size() - WavHeaderSize) / 44100.0,
                    to - from, 0.001);
        EXPECT_GT(viewer.LevelGain, 1.0);  // the stretch's own gain: the calls are quiet
    }
    // the excerpt is the stretch converted as the whole recording would be
    const auto [from, to] = list.Excerpt(0);
    ASSERT_TRUE(list.Open(0));
    EXPECT_TRUE(viewer.LoadedImage == LoadRecordingExcerpt(path, from, to).Image);
    // no row, nothing opened
    EXPECT_FALSE(list.CanOpen(-1));
    EXPECT_FALSE(list.CanOpen(6));
    EXPECT_FALSE(list.Open(6));
}

TEST_F(LongRecordingTest, ProgressCancelAndAnEarlierScanDropped) {
    const auto path = (dir / "calls.wav").string();
    test::WriteCallsRecording(path, 8000, 1);
    const TRecordingInfo info = ReadRecordingInfo(path);
    EXPECT_EQ(list.Status(), "");
    const int first = list.Begin(path, info);
    EXPECT_TRUE(list.Scanning());
    EXPECT_TRUE(list.CanCancel());
    EXPECT_EQ(list.Status(), "Scanning: 0 %, 0 found");
    list.Progressed(first, 74800, 176000);
    EXPECT_EQ(list.PerMille(), 425);
    EXPECT_EQ(list.Status(), "Scanning: 42 %, 0 found");
    TStreamEvent dtmf;
    dtmf.Kind = TStreamEvent::TKind::Dtmf;
    dtmf.Dtmf = {3.0, "A123C"};
    list.Found(first, dtmf, 4);
    EXPECT_EQ(list.Status(), "Scanning: 42 %, 1 found");
    list.Cancel();
    EXPECT_TRUE(list.CancelRequested());
    EXPECT_FALSE(list.CanCancel());
    EXPECT_EQ(list.Status(), "Cancelling: 1 found");
    list.Finished(first, false);
    EXPECT_EQ(list.Status(), "Cancelled at 0:00:09: 1 found");  // 74800 frames at 8000/s
    EXPECT_EQ(list.PerMille(), 425);

    // a new scan: the earlier one's late reports are dropped
    const int second = list.Begin(path, info);
    EXPECT_NE(second, first);
    EXPECT_FALSE(list.CancelRequested());
    EXPECT_TRUE(list.Rows().empty());
    list.Found(first, dtmf, 4);
    list.Progressed(first, 176000, 176000);
    list.Finished(first, true);
    EXPECT_TRUE(list.Rows().empty());
    EXPECT_TRUE(list.Scanning());
    EXPECT_EQ(list.PerMille(), 0);
    list.Failed(second, "Cannot open file " + path);
    EXPECT_FALSE(list.Scanning());
    EXPECT_EQ(list.Status(), "Cannot open file " + path);
    list.Cancel();  // nothing to cancel
    EXPECT_FALSE(list.CancelRequested());
}

}  // namespace
}  // namespace ringlark
