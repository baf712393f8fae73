// The report of a whole recording: every system's messages, their titles,
// levels on the recording's own scale, and the sonogram's drawing.
#include "measurement/MeasurementReport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "generation/StandardsSynth.h"
#include "measurement/SonogramPicture.h"
#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

std::string Shown(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

const TLimitRow* RowNamed(const TMeasuredMessage& m, const std::string& name) {
    for (const auto& row : m.Rows) {
        if (row.Name == name) {
            return &row;
        }
    }
    return nullptr;
}

TEST(MeasurementReport, DtmfCallerIdIsListedWithItsNumber) {
    const Bytes image = SynthesiseDtmfImage("A4512345678C", 63);
    const auto report = MeasureRecording(image);
    ASSERT_EQ(report.size(), 1u);
    ASSERT_TRUE(report[0].Dtmf.has_value());
    EXPECT_EQ(report[0].Title.substr(report[0].Title.find("DTMF")),
              "DTMF  4512345678  A4512345678C");
    ASSERT_NE(RowNamed(report[0], "Calling Number"), nullptr);
    EXPECT_EQ(RowNamed(report[0], "Calling Number")->Value, "4512345678");
    EXPECT_EQ(RowNamed(report[0], "DTMF digits")->Value, "A4512345678C");
    const TSonogram s = MessageSonogram(image, report[0], 100, 50);
    EXPECT_EQ(s.Columns, 100);
    EXPECT_NEAR(s.ToSeconds - s.FromSeconds, 12 * 0.14 + 0.04, 0.03);
}

TEST(MeasurementReport, LevelsAreThoseOfTheRecordingBeforeItWasScaled) {
    TFskSynth synth;
    const Bytes image = SynthesiseImage(synth, ExampleMdmfMessage(), TSignalling::CallWaiting);
    const auto plain = MeasureRecording(image);
    // the same image said to have been made 6 dB louder (a gain of 2)
    const auto scaled = MeasureRecording(image, {2.0, -7.3});
    ASSERT_EQ(plain.size(), 1u);
    ASSERT_EQ(scaled.size(), 1u);
    const double db = 20 * std::log10(2.0);
    EXPECT_NEAR(scaled[0].Measures.MarkDbfs, plain[0].Measures.MarkDbfs - db, 1e-9);
    EXPECT_NEAR(scaled[0].Measures.SpaceDbfs, plain[0].Measures.SpaceDbfs - db, 1e-9);
    EXPECT_NEAR(scaled[0].Measures.TwistDb, plain[0].Measures.TwistDb, 1e-9);
    ASSERT_TRUE(scaled[0].Measures.Alert && plain[0].Measures.Alert);
    EXPECT_NEAR(scaled[0].Measures.Alert->HighDbfs, plain[0].Measures.Alert->HighDbfs - db, 1e-9);
    ASSERT_TRUE(scaled[0].Measures.Subscriber && plain[0].Measures.Subscriber);
    EXPECT_NEAR(scaled[0].Measures.Subscriber->LowDbfs, plain[0].Measures.Subscriber->LowDbfs - db,
                1e-9);
    // 63 of 128 is -6.2 dBFS; said to be 6 dB louder than recorded, -12.2
    EXPECT_NEAR(plain[0].Measures.MarkDbfs, -6.2, 0.15);
    EXPECT_EQ(RowNamed(plain[0], "Mark level")->Value,
              Shown("%.1f dBFS", plain[0].Measures.MarkDbfs));
    EXPECT_EQ(RowNamed(scaled[0], "Mark level")->Value,
              Shown("%.1f dBFS", plain[0].Measures.MarkDbfs - db) +
                  Shown(" (%.1f dBm)", plain[0].Measures.MarkDbfs - db - 7.3));
    EXPECT_EQ(RowNamed(scaled[0], "Mark level")->Verdict, "FAIL");  // -13.5 +- 1 dBm
}

TEST(MeasurementReport, AlertTonesShowEachLevelTheTwistAndTheSubscriberAlert) {
    TFskSynth synth;
    const auto report =
        MeasureRecording(SynthesiseImage(synth, ExampleMdmfMessage(), TSignalling::CallWaiting));
    ASSERT_EQ(report.size(), 1u);
    const auto value = [&](const std::string& name) {
        const TLimitRow* row = RowNamed(report[0], name);
        return row == nullptr ? std::string("(none)") : row->Value + " | " + row->Verdict;
    };
    // each tone at 63 of 128 (-6.2 dBFS); the 440 Hz beep 300 ms at the same level
    const TFskMeasures& m = report[0].Measures;
    ASSERT_TRUE(m.Alert && m.Subscriber);
    EXPECT_NEAR(m.Alert->LowDbfs, -6.2, 0.15);
    EXPECT_NEAR(m.Alert->HighDbfs, -6.2, 0.15);
    EXPECT_NEAR(m.Subscriber->Duration, 0.300, 0.002);
    EXPECT_NEAR(m.Subscriber->LowHz, 440, 0.5);
    EXPECT_NEAR(m.Subscriber->LowDbfs, -6.2, 0.15);
    EXPECT_NEAR(m.Subscriber->Seconds, 0.0, 0.002);
    EXPECT_EQ(value("Alert low tone level"),
              Shown("%.1f dBFS", m.Alert->LowDbfs) + " | not checked");
    EXPECT_EQ(value("Alert high tone level"),
              Shown("%.1f dBFS", m.Alert->HighDbfs) + " | not checked");
    EXPECT_EQ(value("Alert twist (low - high)"),
              Shown("%.1f dB", m.Alert->LowDbfs - m.Alert->HighDbfs) + " | not checked");
    EXPECT_EQ(value("Subscriber alert"),
              Shown("%.1f ms", m.Subscriber->Duration * 1000) + " | not checked");
    EXPECT_EQ(value("Subscriber alert tone"),
              Shown("%.1f Hz", m.Subscriber->LowHz) + " | not checked");
    EXPECT_EQ(value("Subscriber alert level"),
              Shown("%.1f dBFS", m.Subscriber->LowDbfs) + " | not checked");
    // an on-hook message has neither
    TFskSynth onHook;
    const auto plain =
        MeasureRecording(SynthesiseImage(onHook, ExampleMdmfMessage(), TSignalling::OnHook));
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(RowNamed(plain[0], "Subscriber alert"), nullptr);
    EXPECT_EQ(RowNamed(plain[0], "Alert twist (low - high)"), nullptr);
}

TEST(SonogramPicture, AxesTicksAndTheLegendOfTheMeasuredTones) {
    TSonogram s;
    s.Columns = 400;
    s.Bins = 100;
    s.TopHz = 4000;
    s.FromSeconds = 0.5;
    s.ToSeconds = 0.9;
    const TSonogramPlot plot = SonogramPlotArea(500, 200);
    EXPECT_EQ(plot.Width, 448);
    EXPECT_EQ(plot.Height, 164);
    EXPECT_EQ(SonogramRow(plot, s, 4000), 0);
    EXPECT_EQ(SonogramRow(plot, s, 0), plot.Height - 1);
    std::vector<std::string> texts;
    int dashed = 0;
    for (const auto& p : DrawSonogramFrame(s, plot, 1200.4, 2199.6)) {
        if (p.Kind == TSonogramPrimitive::TKind::Text) {
            texts.push_back(p.Text);
        }
        dashed += p.Dashed ? 1 : 0;
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{"0", "1", "2", "3", "4 kHz", "500", "600", "700", "800",
                                        "900", "ms", "mark 1200.4 Hz", "space 2199.6 Hz"}));
    EXPECT_EQ(dashed, 4);  // two lines across the plot, two in the legend
    EXPECT_EQ(TickStep(400, 4), 100);
    EXPECT_EQ(TickStep(400, 5), 100);
    EXPECT_EQ(TickStep(37, 4), 10);
    EXPECT_EQ(TickStep(3, 1), 5);
}

}  // namespace
}  // namespace ringlark
