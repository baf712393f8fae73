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
    EXPECT_EQ(OverviewScrollPosition(overview, 150, 300, 44, end), 44 + overview.Samples / 2);
    EXPECT_EQ(OverviewScrollPosition(overview, 999, 300, 44, end),
              44 + overview.Samples * 299 / 300);
    EXPECT_EQ(OverviewScrollPosition(overview, 10, 300, 44, 100), 100);
    EXPECT_TRUE(BuildOverview(Bytes(), 300).Columns.empty());
}

}  // namespace
}  // namespace ringlark
