#pragma once

// Scoring a receiver: what one run's output shows, and each condition's
// tally and verdict against what the plan requires.
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "testsignal/TestPlan.h"

namespace ringlark {

enum class TOutcome { Accepted, Rejected, Wrong };
std::string_view OutcomeName(TOutcome outcome);  // "accepted", "rejected", "wrong"

enum class TMatch { Number, Bytes };

// What a receiver's output shows. Number: the expected digits appear with
// separators (space, tab, - . ( ) +) ignored: accepted; another run of at
// least as many digits: wrong; else rejected. Bytes: the same with the
// message's bytes in hex (any case, separators ignored) and runs of hex
// digits; for DTMF the digits with their framing characters.
TOutcome JudgeOutput(const std::string& output, const std::string& expected, TMatch match);

// The text a run's output is searched for: the number's digits, or the
// message's bytes in hex ("8020...", upper case), or DTMF digits as sent.
std::string ExpectedText(const std::string& number, const Bytes& message, TMatch match, bool dtmf);

struct TRunResult {
    std::string Condition;
    int Run = 0;  // 1-based
    std::string File;
    TExpect Expect = TExpect::Accept;
    TOutcome Outcome = TOutcome::Rejected;
    int ExitStatus = 0;
    std::string OutputFile;
};

struct TConditionScore {
    const TPlanCondition* Condition = nullptr;
    int Runs = 0, Accepted = 0, Rejected = 0, Wrong = 0;
    std::string Verdict;  // "PASS", "FAIL", "-" (expect any)
    double DecodeRate() const { return Runs > 0 ? static_cast<double>(Accepted) / Runs : 0; }
};

// One score per condition of the plan, in the plan's order.
std::vector<TConditionScore> ScorePlan(const TPlan& plan, const std::vector<TRunResult>& results);

}  // namespace ringlark
