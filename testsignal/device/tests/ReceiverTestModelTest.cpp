// The Receiver Test window's model driven as the window drives it, the sound
// output and the file dialog scripted.
#include "testsignal/device/ReceiverTestModel.h"

#include <gtest/gtest.h>

#include "core/RinglarkError.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using TStage = TReceiverTestModel::TStage;

// Plays what the model hands out and reports it played, as the window's
// worker does.
void PlayThrough(TReceiverTestModel& model, test::TRecordingSound& sound, const Bytes& image) {
    model.Played(sound.Play(image));
}

std::string Thrown(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const RinglarkError& e) {
        return e.what();
    }
    return "nothing thrown";
}

TEST(ReceiverTestModel, ABellPlanPlayedAnsweredTabledAndReported) {
    TReceiverTestModel model;
    EXPECT_EQ(model.PlanNames, BuiltInPlanNames());
    EXPECT_EQ(model.Status(), "Choose a plan and the calibration, then Play.");
    EXPECT_TRUE(model.CanPlay());
    EXPECT_FALSE(model.CanAnswer());
    EXPECT_FALSE(model.CanSaveReport());
    model.Runs = "1";
    model.Rate = 8000;
    model.DbmAtFs = "0";
    test::TRecordingSound sound;
    PlayThrough(model, sound, model.Play());
    EXPECT_EQ(model.Stage(), TStage::Asking);
    EXPECT_EQ(model.Status(),
              "What did the device show after run 1 of 17: nominal 1/1 (must accept)?");
    EXPECT_FALSE(model.CanPlay());
    EXPECT_TRUE(model.CanStop());
    auto rows = model.Rows();
    ASSERT_EQ(rows.size(), 17u);
    EXPECT_EQ(rows[0].State, TRowState::Playing);
    EXPECT_EQ(rows[1].State, TRowState::Waiting);
    EXPECT_EQ(rows[2].Impairments, "level-dbfs -39.34");
    // every run shown but the one below the must-not-respond level is shown
    // too (a failure) and the corrupted checksum shows nothing
    for (std::size_t run = 0; run < 17; ++run) {
        ASSERT_EQ(model.Stage(), TStage::Asking) << run;
        const std::string name = model.Session()->ConditionOf(run).Name;
        const auto next =
            model.Answer(name == "bad-checksum" ? TOutcome::Rejected : TOutcome::Accepted);
        ASSERT_EQ(next.has_value(), run + 1 < 17);
        if (next) {
            EXPECT_EQ(model.Stage(), TStage::Playing);
            EXPECT_FALSE(model.CanAnswer());
            PlayThrough(model, sound, *next);
        }
    }
    EXPECT_EQ(model.Stage(), TStage::Finished);
    EXPECT_EQ(model.Status(), "FAIL: 16 of 17 conditions");
    EXPECT_TRUE(model.CanPlay());
    ASSERT_EQ(sound.Played.size(), 17u);
    EXPECT_EQ(sound.Played[3], model.Session()->Image(3));
    rows = model.Rows();
    EXPECT_EQ(rows[0].Verdict, "PASS");
    EXPECT_EQ(rows[0].State, TRowState::Passed);
    EXPECT_EQ(rows[3].Condition, "level-below-no-response");
    EXPECT_EQ(rows[3].Verdict, "FAIL");
    EXPECT_EQ(rows[3].State, TRowState::Failed);
    EXPECT_EQ(rows[16].Condition, "bad-checksum");
    EXPECT_EQ(rows[16].Rejected, 1);
    EXPECT_EQ(rows[16].State, TRowState::Passed);

    const auto chart = model.Chart();
    EXPECT_FALSE(chart.AgainstSnr);
    EXPECT_EQ(chart.Title, "Shown per condition");
    ASSERT_EQ(chart.Points.size(), 17u);
    EXPECT_EQ(chart.Points[3].Label, "level-below-no-response");
    EXPECT_EQ(chart.Points[3].X, 4);
    EXPECT_EQ(chart.Points[3].Y, 100);
    EXPECT_EQ(chart.Points[16].Y, 0);

    test::TTempDir dir;
    test::TScriptedFileDialog dialog;
    dialog.Answers = {std::nullopt, (dir / "r.html").string()};
    model.SaveReport(dialog);  // cancelled: nothing written
    EXPECT_FALSE(std::filesystem::exists(dir / "r.html"));
    model.SaveReport(dialog);
    ASSERT_EQ(dialog.Showings.size(), 2u);
    EXPECT_EQ(dialog.Showings[0].Title, "Save Report");
    EXPECT_EQ(dialog.Showings[0].Filter, "HTML report (*.html)|*.html");
    EXPECT_EQ(dialog.Showings[0].FileName, "report-bell.html");
    const std::string report = test::ReadFile(dir / "r.html");
    EXPECT_EQ(report, model.Session()->Report());
    EXPECT_NE(report.find("FAIL: 16 of 17 conditions"), std::string::npos);
    EXPECT_NE(report.find("at +0.00 dBm for a full-scale sine"), std::string::npos);
    dialog.Answers = {(dir / "missing" / "r.html").string()};
    EXPECT_EQ(Thrown([&] { model.SaveReport(dialog); }), "Cannot create file " +
                                                             (dir / "missing" / "r.html").string() +
                                                             ": No such file or directory");
}

TEST(ReceiverTestModel, SettingsThatCannotBeUsedChangeNothing) {
    TReceiverTestModel model;
    model.DbmAtFs = "3,14";
    EXPECT_EQ(Thrown([&] { model.Play(); }), "'3,14' is not a valid number");
    model.DbmAtFs = "";
    model.Runs = "0";
    EXPECT_EQ(Thrown([&] { model.Play(); }), "--runs 0 is out of range: 1 to 100");
    model.Runs = "1.5";
    EXPECT_EQ(Thrown([&] { model.Play(); }), "--runs 1.5 is out of range: 1 to 100");
    model.Runs = "1";
    model.DbmAtFs = "-10";
    EXPECT_EQ(Thrown([&] { model.Play(); }),
              "Condition nominal would go 7.0 dB past full scale at -10 dBm for a full-scale "
              "sine: turn the sound card's output up and calibrate it again");
    EXPECT_EQ(model.Session(), nullptr);
    EXPECT_EQ(model.Stage(), TStage::Idle);
    EXPECT_TRUE(model.Rows().empty());
}

TEST(ReceiverTestModel, APlanFileIsListedChosenAndPlayed) {
    test::TTempDir dir;
    const std::string path = (dir / "mine.json").string();
    test::WriteFile(path, R"({"name": "mine", "standard": "dtmf", "runs": 2,
        "conditions": [{"name": "quiet", "impairments": {"level_dbm": -30}}]})");
    test::WriteFile(dir / "bad.json", R"({"name": "bad", "conditions": 3})");
    TReceiverTestModel model;
    test::TScriptedFileDialog dialog;
    dialog.Answers = {std::nullopt, (dir / "bad.json").string(), path, path};
    model.OpenPlanFile(dialog);  // cancelled
    EXPECT_EQ(model.PlanNames, BuiltInPlanNames());
    EXPECT_EQ(Thrown([&] { model.OpenPlanFile(dialog); }),
              "Plan " + (dir / "bad.json").string() +
                  ": \"conditions\" must be a list of at least one condition");
    EXPECT_EQ(model.PlanName, "bell");
    model.OpenPlanFile(dialog);
    EXPECT_EQ(dialog.Showings[0].Title, "Open Test Plan");
    EXPECT_EQ(dialog.Showings[0].Filter, "Test plan (*.json)|*.json");
    EXPECT_EQ(model.PlanNames.back(), path);
    EXPECT_EQ(model.PlanName, path);
    model.OpenPlanFile(dialog);  // once more: listed once
    EXPECT_EQ(model.PlanNames.size(), BuiltInPlanNames().size() + 1);
    model.Rate = 8000;
    test::TRecordingSound sound;
    PlayThrough(model, sound, model.Play());
    EXPECT_EQ(model.Session()->Plan().Name, "mine");
    EXPECT_EQ(model.Session()->Size(), 2u);
    EXPECT_EQ(model.Rows()[0].Impairments, "level-dbfs -33.14");
}

TEST(ReceiverTestModel, ReplayStopAndAFailedPlayKeepTheAnswers) {
    TReceiverTestModel model;
    model.PlanName = "dtmf";
    model.Runs = "1";
    model.Rate = 8000;
    test::TRecordingSound sound;
    PlayThrough(model, sound, model.Play());
    EXPECT_FALSE(model.Answer(TOutcome::Wrong) == std::nullopt);
    // an answer while the run plays is not taken
    EXPECT_EQ(model.Answer(TOutcome::Accepted), std::nullopt);
    EXPECT_EQ(model.Current(), 1u);
    sound.Failure = "Sound could not be played: Device unavailable";
    EXPECT_EQ(Thrown([&] { PlayThrough(model, sound, model.Session()->Image(1)); }),
              "Sound could not be played: Device unavailable");
    EXPECT_EQ(model.Stage(), TStage::Idle);
    EXPECT_EQ(model.Status(), "Sound could not be played: Device unavailable");
    EXPECT_TRUE(model.CanSaveReport());
    EXPECT_EQ(model.Rows()[0].Wrong, 1);
    EXPECT_EQ(model.Rows()[0].State, TRowState::Failed);

    sound.Failure.reset();
    PlayThrough(model, sound, model.Play());  // from the start again
    EXPECT_FALSE(model.CanSaveReport());
    const Bytes again = model.Replay();
    EXPECT_EQ(again, sound.Played.back());
    EXPECT_EQ(model.Stage(), TStage::Playing);
    PlayThrough(model, sound, again);
    model.Answer(TOutcome::Accepted);
    model.Stop();
    EXPECT_EQ(model.Status(), "Stopped after 1 of 10 runs.");
    EXPECT_TRUE(model.CanPlay());
    // the run that was playing when Stop came ends quietly
    model.Played(std::nullopt);
    EXPECT_EQ(model.Stage(), TStage::Idle);
}

TEST(ReceiverTestModel, ASensitivityPlanChartsTheShareShownAgainstSnr) {
    TReceiverTestModel model;
    model.PlanName = "sensitivity";
    model.Runs = "2";
    model.Rate = 8000;
    test::TRecordingSound sound;
    PlayThrough(model, sound, model.Play());
    // 30 dB: both shown; 20 dB: one of two; 15 dB: one answer so far
    for (TOutcome outcome : {TOutcome::Accepted, TOutcome::Accepted, TOutcome::Rejected,
                             TOutcome::Accepted, TOutcome::Wrong}) {
        PlayThrough(model, sound, *model.Answer(outcome));
    }
    auto chart = model.Chart();
    EXPECT_TRUE(chart.AgainstSnr);
    EXPECT_EQ(chart.Title, "Decode rate against SNR");
    EXPECT_EQ(chart.XTitle, "SNR in 300-3400 Hz (dB)");
    ASSERT_EQ(chart.Points.size(), 3u);
    EXPECT_EQ(chart.Points[0].X, 30);
    EXPECT_EQ(chart.Points[0].Y, 100);
    EXPECT_EQ(chart.Points[1].X, 20);
    EXPECT_EQ(chart.Points[1].Y, 50);
    EXPECT_EQ(chart.Points[2].X, 15);
    EXPECT_EQ(chart.Points[2].Y, 0);
    const auto rows = model.Rows();
    EXPECT_EQ(rows[1].Verdict, "-");
    EXPECT_EQ(rows[1].State, TRowState::Measured);
    EXPECT_EQ(rows[2].State, TRowState::Playing);
    EXPECT_EQ(rows[2].Answered, 1);
    // the rest all shown: a plan without verdicts says so when it is done
    for (std::optional<Bytes> next = model.Answer(TOutcome::Accepted); next;
         next = model.Answer(TOutcome::Accepted)) {
        PlayThrough(model, sound, *next);
    }
    EXPECT_EQ(model.Stage(), TStage::Finished);
    EXPECT_EQ(model.Status(),
              "Done: 20 runs answered. The plan measures the share shown; no condition passes or "
              "fails.");
    chart = model.Chart();
    ASSERT_EQ(chart.Points.size(), 10u);
    EXPECT_EQ(chart.Points[2].Y, 50);
    EXPECT_EQ(chart.Points[9].X, 0);
    EXPECT_EQ(chart.Points[9].Y, 100);
}

}  // namespace
}  // namespace ringlark
