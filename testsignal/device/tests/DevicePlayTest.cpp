#include "testsignal/device/DevicePlay.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/RinglarkError.h"
#include "testsignal/BenchReport.h"

namespace ringlark {
namespace {

std::vector<int16_t> Samples(const Bytes& wav) {
    std::vector<int16_t> samples;
    for (std::size_t i = 44; i + 1 < wav.size(); i += 2) {
        samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(wav[i]) |
                                               (static_cast<uint8_t>(wav[i + 1]) << 8)));
    }
    return samples;
}

std::string Thrown(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const RinglarkError& e) {
        return e.what();
    }
    return "nothing thrown";
}

TEST(DevicePlay, RunsInThePlansOrderNamedAsPlanMakeNamesThem) {
    const TDevicePlay play(*BuiltInPlan("bell"), 8000, std::nullopt);
    ASSERT_EQ(play.Size(), 17u * 3);
    EXPECT_EQ(play.RunAt(0).File, "001-nominal-001.wav");
    EXPECT_EQ(play.RunAt(5).File, "002-level-max-003.wav");
    EXPECT_EQ(play.ConditionOf(5).Name, "level-max");
    EXPECT_EQ(play.RunAt(5).Run, 3);
    EXPECT_EQ(play.DbmAtFs(), 3.14);
    EXPECT_EQ(play.GainDb(), 0);
    EXPECT_EQ(play.NextUnanswered(), 0u);
    EXPECT_EQ(PlanFileName(11, "mark+1%", 2), "012-mark+1_-002.wav");
}

TEST(DevicePlay, TheCardsCalibrationScalesEverySample) {
    const TPlan plan = *BuiltInPlan("sensitivity");
    // at the plan's calibration: the samples plan make writes (s16)
    const TDevicePlay same(plan, 8000, 3.14);
    const TPlanSignal signal = PlanSignal(plan, plan.Conditions[2], 1, 8000);
    EXPECT_EQ(same.Image(21),
              EncodeWav(SynthesiseTestSignal(signal.Signal), 8000, TSampleFormat::S16));
    // a card 6.02 dB louder at full scale is sent each sample half as large
    const TDevicePlay louder(plan, 8000, 3.14 + 20 * std::log10(2.0));
    EXPECT_NEAR(louder.GainDb(), -6.0206, 1e-4);
    const auto base = Samples(same.Image(21));
    const auto halved = Samples(louder.Image(21));
    ASSERT_EQ(base.size(), halved.size());
    int worst = 0, loudest = 0;
    for (std::size_t i = 0; i < base.size(); ++i) {
        worst = std::max(worst, std::abs(2 * halved[i] - base[i]));
        loudest = std::max(loudest, std::abs(static_cast<int>(base[i])));
    }
    EXPECT_LE(worst, 2);
    EXPECT_GT(loudest, 10000);
}

TEST(DevicePlay, CalibrationsOutOfRangeOrThatWouldClipAreRefused) {
    const TPlan bell = *BuiltInPlan("bell");
    EXPECT_EQ(Thrown([&] { TDevicePlay(bell, 8000, 20.5); }),
              "--dbm-at-fs 20.5 is out of range: -30 to 20 dBm");
    EXPECT_EQ(Thrown([&] { TDevicePlay(bell, 7999, 0.0); }),
              "--rate 7999 is out of range: 8000 to 192000 samples per second");
    // the generator's level (63 of 128, -6.16 dBFS) raised by 3.14 + 10 dB
    const TDevicePlay quiet(bell, 8000, -10.0);
    EXPECT_EQ(Thrown([&] { quiet.Image(0); }),
              "Condition nominal would go 7.0 dB past full scale at -10 dBm for a full-scale "
              "sine: turn the sound card's output up and calibrate it again");
    // noise peaks past full scale are clipped as plan make clips them: the
    // tones without the noise fit
    const TDevicePlay noisy(*BuiltInPlan("sensitivity"), 8000, std::nullopt);
    EXPECT_EQ(Thrown([&] { noisy.Image(noisy.Size() - 1); }), "nothing thrown");
    // the loudest level the plan asks for, -4.23 dBm, fits a card at 0 dBm
    const TDevicePlay card(bell, 8000, 0.0);
    EXPECT_EQ(Thrown([&] { card.Image(3); }), "nothing thrown");
}

TEST(DevicePlay, AnswersAreScoredAndReportedAsTheyCome) {
    TPlan plan;
    plan.Name = "two";
    plan.Title = "Two conditions";
    plan.Conditions.resize(2);
    plan.Conditions[0].Name = "shown";
    plan.Conditions[0].Runs = 2;
    plan.Conditions[1].Name = "ignored";
    plan.Conditions[1].Expect = TExpect::Reject;
    TDevicePlay play(plan, 8000, 0.0);
    ASSERT_EQ(play.Size(), 3u);
    play.Answer(0, TOutcome::Accepted);
    play.Answer(2, TOutcome::Accepted);
    EXPECT_EQ(play.NextUnanswered(), 1u);
    auto results = play.Results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].Condition, "ignored");
    EXPECT_EQ(results[1].File, "002-ignored-001.wav");
    EXPECT_EQ(results[1].Expect, TExpect::Reject);
    auto scores = play.Scores();
    EXPECT_EQ(scores[0].Runs, 1);
    EXPECT_EQ(scores[1].Verdict, "FAIL");
    // a later word replaces an earlier one
    play.Answer(2, TOutcome::Rejected);
    play.Answer(1, TOutcome::Wrong);
    EXPECT_EQ(play.NextUnanswered(), 3u);
    scores = play.Scores();
    EXPECT_EQ(scores[0].Wrong, 1);
    EXPECT_EQ(scores[0].Verdict, "FAIL");
    EXPECT_EQ(scores[1].Rejected, 1);
    EXPECT_EQ(scores[1].Verdict, "PASS");
    const std::string report = play.Report();
    EXPECT_NE(report.find("<p>Plan <code>two</code>, standard Bell 202 (North America); played "
                          "through the sound "
                          "card at +0.00 dBm for a full-scale sine, the operator saying what the "
                          "device showed.</p>"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("<p id=\"summary\" class=\"FAIL\">FAIL: 1 of 2 conditions</p>"),
              std::string::npos);
    // the decoder's report keeps its own words
    EXPECT_NE(ReportHtml(plan, scores, "dec {}", "number")
                  .find("(North America); decoder <code>dec {}</code>, matching the number.</p>"),
              std::string::npos);
}

}  // namespace
}  // namespace ringlark
