#include "analyst/Overview.h"

#include <gtest/gtest.h>

#include "core/WavImage.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "generation/StandardsSynth.h"
#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

TEST(Overview, EnvelopeAndSpansOfACallWaitingImage) {
    TFskSynth synth;
    const Bytes message = RandomMdmfMessage(2);
    const Bytes image = SynthesiseImage(synth, message, TSignalling::CallWaiting);
    const TOverview overview = BuildOverview(image, 771);
    EXPECT_EQ(overview.Samples, static_cast<int64_t>(image.size() - WavHeaderSize));
    ASSERT_EQ(overview.Columns.size(), 771u);
    ASSERT_EQ(overview.Spans.size(), 3u);
    EXPECT_EQ(overview.Spans[0].Label, "SAS");
    EXPECT_NEAR(overview.Spans[0].From, 0, 100);
    EXPECT_NEAR(overview.Spans[0].To, 13230, 100);
    EXPECT_EQ(overview.Spans[1].Label, "CAS");
    EXPECT_NEAR(overview.Spans[1].From, 13230, 100);
    EXPECT_NEAR(overview.Spans[1].To, 13230 + 4410, 100);
    EXPECT_EQ(overview.Spans[2].Label, "CORR");
    EXPECT_EQ(overview.Spans[2].Kind, TOverviewSpan::TKind::Message);
    // the quiet between the alert and the data is flat in the envelope
    const auto quiet = static_cast<std::size_t>((13230 + 4410 + 4410) * 771 / overview.Samples);
    EXPECT_EQ(overview.Columns[quiet], (std::pair<uint8_t, uint8_t>{128, 128}));
    // the alert reaches both sides
    const auto alert = static_cast<std::size_t>((13230 + 2205) * 771 / overview.Samples);
    EXPECT_LT(overview.Columns[alert].first, 80);
    EXPECT_GT(overview.Columns[alert].second, 176);
}

TEST(Overview, OtherSystemsAreMarkedAndClicksStayInTheScrollRange) {
    const Bytes v23 = SynthesiseV23Image(
        RandomMdmfMessage(3), V23TimingFor(TCidStandard::Bt, TSignalling::OnHook, true), 63);
    const TOverview overview = BuildOverview(v23, 300);
    ASSERT_EQ(overview.Spans.size(), 2u);
    EXPECT_EQ(overview.Spans[0].Label, "CAS");
    EXPECT_EQ(overview.Spans[1].Label, "V23");
    const TOverview dtmf = BuildOverview(SynthesiseDtmfImage("A0123C", 63), 300);
    ASSERT_EQ(dtmf.Spans.size(), 1u);
    EXPECT_EQ(dtmf.Spans[0].Label, "DTMF");
    const int64_t end = static_cast<int64_t>(v23.size());
    EXPECT_EQ(OverviewScrollPosition(overview, 0, 300, 44, end), 44);
    // the point clicked comes to the middle of the 771 samples on view
    EXPECT_EQ(OverviewScrollPosition(overview, 150, 300, 44, end),
              44 + overview.Samples / 2 - 771 / 2);
    EXPECT_EQ(OverviewScrollPosition(overview, 999, 300, 44, end),
              44 + overview.Samples * 299 / 300 - 771 / 2);
    EXPECT_EQ(OverviewScrollPosition(overview, 10, 300, 44, 100), 100);
    EXPECT_TRUE(BuildOverview(Bytes(), 300).Columns.empty());
}

TEST(Overview, TheTimeScaleTicksEveryRoundStep) {
    TOverview overview;
    overview.Samples = 44100 * 3;  // 3 s over 600 columns: a tick every 0.5 s
    std::vector<std::pair<int, std::string>> ticks;
    for (const auto& t : OverviewTicks(overview, 600)) {
        ticks.emplace_back(t.Column, t.Label);
    }
    EXPECT_EQ(ticks, (std::vector<std::pair<int, std::string>>{{0, "0 s"},
                                                               {100, "0.5 s"},
                                                               {200, "1 s"},
                                                               {300, "1.5 s"},
                                                               {400, "2 s"},
                                                               {500, "2.5 s"}}));
    overview.Samples = 44100 * 60;  // a minute over 771 columns: every 10 s
    const auto minute = OverviewTicks(overview, 771);
    ASSERT_EQ(minute.size(), 6u);
    EXPECT_EQ(minute[1].Label, "10 s");
    EXPECT_EQ(minute[1].Column, 128);
    EXPECT_TRUE(OverviewTicks(TOverview{}, 771).empty());
}

}  // namespace
}  // namespace ringlark
