#include <gtest/gtest.h>

#include "testsignal/BenchReport.h"
#include "testsignal/Scoring.h"

namespace ringlark {
namespace {

TEST(Scoring, NumberWithSeparatorsIsAcceptedAnotherIsWrongNothingIsRejected) {
    EXPECT_EQ(JudgeOutput("NUMBER (800) 555-1212\n", "8005551212", TMatch::Number),
              TOutcome::Accepted);
    EXPECT_EQ(JudgeOutput("0.300s 800 555 1212", "8005551212", TMatch::Number), TOutcome::Accepted);
    EXPECT_EQ(JudgeOutput("NUMBER 800-555-1213\n", "8005551212", TMatch::Number), TOutcome::Wrong);
    // dates, times and short runs are no number
    EXPECT_EQ(JudgeOutput("12/07 09:30 nothing decoded\n", "8005551212", TMatch::Number),
              TOutcome::Rejected);
    EXPECT_EQ(JudgeOutput("", "8005551212", TMatch::Number), TOutcome::Rejected);
    // a line break ends a number
    EXPECT_EQ(JudgeOutput("80055\n51212", "8005551212", TMatch::Number), TOutcome::Rejected);
}

TEST(Scoring, BytesInHexAndDtmfDigits) {
    const Bytes message("\x80\x03\x02\x01\x31\x49", 6);
    const std::string hex = ExpectedText("1", message, TMatch::Bytes, false);
    EXPECT_EQ(hex, "800302013149");
    EXPECT_EQ(JudgeOutput("CORR 80 03 02 01 31 49\n", hex, TMatch::Bytes), TOutcome::Accepted);
    EXPECT_EQ(JudgeOutput("corr 80 03 02 01 31 49\n", hex, TMatch::Bytes), TOutcome::Accepted);
    EXPECT_EQ(JudgeOutput("CORR 80 03 02 01 32 48\n", hex, TMatch::Bytes), TOutcome::Wrong);
    EXPECT_EQ(ExpectedText("123", Bytes("a123c"), TMatch::Bytes, true), "A123C");
    EXPECT_EQ(JudgeOutput("DTMF A123C", "A123C", TMatch::Bytes), TOutcome::Accepted);
    EXPECT_EQ(ExpectedText("8005551212", message, TMatch::Number, false), "8005551212");
}

TEST(Scoring, VerdictsCountAgainstWhatThePlanRequires) {
    TPlan plan;
    plan.Conditions.resize(3);
    plan.Conditions[0].Name = "a";
    plan.Conditions[1].Name = "r";
    plan.Conditions[1].Expect = TExpect::Reject;
    plan.Conditions[2].Name = "n";
    plan.Conditions[2].Expect = TExpect::Any;
    plan.Conditions[2].Impairments.SnrDb = 6;
    const auto result = [](const char* c, TOutcome o) {
        TRunResult r;
        r.Condition = c;
        r.Outcome = o;
        return r;
    };
    const std::vector<TRunResult> results = {
        result("a", TOutcome::Accepted), result("a", TOutcome::Rejected),
        result("r", TOutcome::Rejected), result("r", TOutcome::Rejected),
        result("n", TOutcome::Accepted), result("n", TOutcome::Wrong)};
    auto scores = ScorePlan(plan, results);
    ASSERT_EQ(scores.size(), 3u);
    EXPECT_EQ(scores[0].Verdict, "FAIL");
    EXPECT_EQ(scores[1].Verdict, "PASS");
    EXPECT_EQ(scores[2].Verdict, "-");
    EXPECT_EQ(scores[2].Wrong, 1);
    EXPECT_DOUBLE_EQ(scores[2].DecodeRate(), 0.5);
    EXPECT_EQ(ScoreText(scores),
              "a          accept  2 runs: 1 accepted, 1 rejected, 0 wrong  FAIL\n"
              "r          reject  2 runs: 0 accepted, 2 rejected, 0 wrong  PASS\n"
              "n          any     2 runs: 1 accepted, 0 rejected, 1 wrong  -\n"
              "FAIL: 1 of 2 conditions\n");
    plan.AllowedFailures = 1;
    EXPECT_EQ(ScorePlan(plan, results)[0].Verdict, "PASS");
    // the chart: one point at 6 dB, 50 %
    const std::string svg = SensitivitySvg(scores);
    EXPECT_NE(svg.find("<title>6 dB: 50 %</title>"), std::string::npos) << svg;
    EXPECT_EQ(ResultsCsv({results[0]}),
              "condition,run,file,expect,outcome,exit_status,output\na,0,,accept,accepted,0,\n");
    EXPECT_EQ(ResultJsonLine(results[5]),
              "{\"condition\":\"n\",\"exit_status\":0,\"expect\":\"accept\",\"file\":\"\","
              "\"outcome\":\"wrong\",\"output\":\"\",\"run\":0}");
}

}  // namespace
}  // namespace ringlark
