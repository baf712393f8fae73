#include "testsignal/Scoring.h"

#include <cctype>
#include <string_view>

namespace ringlark {

namespace {

bool IsSeparator(char c) {
    return std::string_view(" \t-.()+").find(c) != std::string_view::npos;
}

// Runs of characters that `in` takes, separators inside a run skipped.
std::vector<std::string> Runs(const std::string& text, bool (*in)(char)) {
    std::vector<std::string> runs;
    std::string current;
    for (char c : text) {
        if (in(c)) {
            current += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else if (!IsSeparator(c) && !current.empty()) {
            runs.push_back(current);
            current.clear();
        }
    }
    if (!current.empty()) {
        runs.push_back(current);
    }
    return runs;
}

bool Digit(char c) {
    return c >= '0' && c <= '9';
}
bool Hex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}
bool DtmfChar(char c) {
    return Digit(c) || c == '*' || c == '#' || (c >= 'A' && c <= 'D') || (c >= 'a' && c <= 'd');
}

}  // namespace

std::string_view OutcomeName(TOutcome outcome) {
    return outcome == TOutcome::Accepted   ? "accepted"
           : outcome == TOutcome::Rejected ? "rejected"
                                           : "wrong";
}

std::string ExpectedText(const std::string& number, const Bytes& message, TMatch match, bool dtmf) {
    if (match == TMatch::Number) {
        return number;
    }
    if (dtmf) {
        std::string upper;
        for (char c : message) {
            upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return upper;
    }
    static const char* digits = "0123456789ABCDEF";
    std::string hex;
    for (char c : message) {
        const auto b = static_cast<uint8_t>(c);
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

TOutcome JudgeOutput(const std::string& output, const std::string& expected, TMatch match) {
    if (expected.empty()) {
        return TOutcome::Rejected;
    }
    bool dtmf = false;
    for (char c : expected) {
        dtmf = dtmf || c == '#' || c == '*';
    }
    bool (*in)(char) = match == TMatch::Number ? Digit : (dtmf ? DtmfChar : Hex);
    bool wrong = false;
    for (const std::string& run : Runs(output, in)) {
        if (run.find(expected) != std::string::npos) {
            return TOutcome::Accepted;
        }
        wrong = wrong || run.size() >= expected.size();
    }
    return wrong ? TOutcome::Wrong : TOutcome::Rejected;
}

std::vector<TConditionScore> ScorePlan(const TPlan& plan, const std::vector<TRunResult>& results) {
    std::vector<TConditionScore> scores;
    for (const auto& condition : plan.Conditions) {
        TConditionScore score;
        score.Condition = &condition;
        for (const auto& r : results) {
            if (r.Condition != condition.Name) {
                continue;
            }
            ++score.Runs;
            score.Accepted += r.Outcome == TOutcome::Accepted ? 1 : 0;
            score.Rejected += r.Outcome == TOutcome::Rejected ? 1 : 0;
            score.Wrong += r.Outcome == TOutcome::Wrong ? 1 : 0;
        }
        const int failures = condition.Expect == TExpect::Accept ? score.Rejected + score.Wrong
                                                                 : score.Accepted + score.Wrong;
        score.Verdict = condition.Expect == TExpect::Any                     ? "-"
                        : score.Runs > 0 && failures <= plan.AllowedFailures ? "PASS"
                                                                             : "FAIL";
        scores.push_back(score);
    }
    return scores;
}

}  // namespace ringlark
