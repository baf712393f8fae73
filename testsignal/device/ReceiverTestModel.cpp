#include "testsignal/device/ReceiverTestModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/FileWriting.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"

namespace ringlark {

namespace {

// A plan file is a few kilobytes; more is not a plan.
constexpr std::size_t MaxPlanFileBytes = 1u << 20;

// A number in plain decimal notation, all of the text; nothing otherwise.
std::optional<double> Decimal(const std::string& text) {
    if (text.empty() || text.find_first_not_of("+-.0123456789") != std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string Verdicts(const std::vector<TConditionScore>& scores, std::size_t runs) {
    int judged = 0, passed = 0;
    for (const auto& s : scores) {
        judged += s.Verdict != "-" ? 1 : 0;
        passed += s.Verdict == "PASS" ? 1 : 0;
    }
    if (judged == 0) {
        return "Done: " + std::to_string(runs) +
               " runs answered. The plan measures the share shown; no condition passes or fails.";
    }
    return (passed == judged ? "PASS: " : "FAIL: ") + std::to_string(passed) + " of " +
           std::to_string(judged) + " conditions";
}

}  // namespace

TColor RowColor(TRowState state) {
    switch (state) {
        case TRowState::Playing:
            return {255, 236, 160};
        case TRowState::Passed:
            return {200, 236, 200};
        case TRowState::Failed:
            return {244, 192, 192};
        case TRowState::Measured:
            return {208, 224, 244};
        case TRowState::Waiting:
            break;
    }
    return White;
}

TReceiverTestModel::TReceiverTestModel() : PlanNames(BuiltInPlanNames()) {
    status_ = "Choose a plan and the calibration, then Play.";
}

bool TReceiverTestModel::CanSaveReport() const {
    return play_ && !play_->Results().empty();
}

Bytes TReceiverTestModel::Play() {
    std::optional<TPlan> plan = BuiltInPlan(PlanName);
    for (const auto& [path, filePlan] : filePlans_) {
        if (path == PlanName) {
            plan = filePlan;
        }
    }
    if (!plan) {
        std::string known;
        for (const auto& name : PlanNames) {
            known += (known.empty() ? "" : ", ") + name;
        }
        throw RinglarkError(msg::UnknownPlan(PlanName, known));
    }
    std::optional<double> dbm;
    if (!DbmAtFs.empty()) {
        dbm = Decimal(DbmAtFs);
        if (!dbm) {
            throw RinglarkError(msg::NotValidNumber(DbmAtFs));
        }
    }
    if (!Runs.empty()) {
        const std::optional<double> runs = Decimal(Runs);
        if (!runs || *runs != std::floor(*runs) || *runs < 1 || *runs > 100) {
            throw RinglarkError(msg::ValueOutOfRange("runs", Runs, "1", "100", ""));
        }
        for (auto& condition : plan->Conditions) {
            condition.Runs = static_cast<int>(*runs);
        }
    }
    TDevicePlay play(std::move(*plan), Rate, dbm);
    Bytes first = play.Image(0);
    for (std::size_t i = 1; i < play.Size(); ++i) {
        play.Image(i);  // every run checked before the first plays
    }
    play_.emplace(std::move(play));
    return Start(0);
}

Bytes TReceiverTestModel::Start(std::size_t run) {
    current_ = run;
    stage_ = TStage::Playing;
    status_ = "Playing " + RunText(run) + ".";
    return play_->Image(run);
}

std::string TReceiverTestModel::RunText(std::size_t run) const {
    const TPlanCondition& c = play_->ConditionOf(run);
    return "run " + std::to_string(run + 1) + " of " + std::to_string(play_->Size()) + ": " +
           c.Name + " " + std::to_string(play_->RunAt(run).Run) + "/" + std::to_string(c.Runs) +
           " (must " + std::string(ExpectName(c.Expect)) + ")";
}

void TReceiverTestModel::Played(const std::optional<std::string>& failure) {
    if (stage_ != TStage::Playing) {
        return;  // stopped while it played
    }
    if (failure) {
        stage_ = TStage::Idle;
        status_ = *failure;
        throw RinglarkError(*failure);
    }
    stage_ = TStage::Asking;
    status_ = "What did the device show after " + RunText(current_) + "?";
}

std::optional<Bytes> TReceiverTestModel::Answer(TOutcome outcome) {
    if (stage_ != TStage::Asking) {
        return std::nullopt;
    }
    play_->Answer(current_, outcome);
    if (current_ + 1 < play_->Size()) {
        return Start(current_ + 1);
    }
    stage_ = TStage::Finished;
    status_ = Verdicts(play_->Scores(), play_->Size());
    return std::nullopt;
}

Bytes TReceiverTestModel::Replay() {
    return Start(current_);
}

void TReceiverTestModel::Stop() {
    if (!CanStop()) {
        return;
    }
    stage_ = TStage::Idle;
    status_ = "Stopped after " + std::to_string(play_->Results().size()) + " of " +
              std::to_string(play_->Size()) + " runs.";
}

void TReceiverTestModel::OpenPlanFile(IFileDialog& dialog) {
    dialog.Title = "Open Test Plan";
    dialog.DefaultExt = ".json";
    dialog.Filter = std::string(PlanFilter);
    if (!dialog.Execute()) {
        return;
    }
    const std::string path = dialog.FileName;
    TPlan plan = PlanFromJson(ReadRegularFile(path, MaxPlanFileBytes, "1 MB"), path);
    const auto known = std::find(PlanNames.begin(), PlanNames.end(), path);
    if (known == PlanNames.end()) {
        PlanNames.push_back(path);
        filePlans_.emplace_back(path, std::move(plan));
    } else {
        for (auto& entry : filePlans_) {
            if (entry.first == path) {
                entry.second = std::move(plan);  // read again: it may have been edited
            }
        }
    }
    PlanName = path;
}

void TReceiverTestModel::SaveReport(IFileDialog& dialog) {
    if (!CanSaveReport()) {
        return;
    }
    dialog.Title = "Save Report";
    dialog.DefaultExt = ".html";
    dialog.Filter = std::string(ReportFilter);
    dialog.FileName = "report-" + play_->Plan().Name + ".html";
    if (dialog.Execute()) {
        WriteFileReplacing(dialog.FileName, play_->Report());
    }
}

std::vector<TReceiverTestRow> TReceiverTestModel::Rows() const {
    std::vector<TReceiverTestRow> rows;
    if (!play_) {
        return rows;
    }
    const auto scores = play_->Scores();
    const bool active = stage_ == TStage::Playing || stage_ == TStage::Asking;
    for (std::size_t i = 0; i < scores.size(); ++i) {
        const TConditionScore& s = scores[i];
        TReceiverTestRow row;
        row.Condition = s.Condition->Name;
        row.Must = ExpectName(s.Condition->Expect);
        row.Impairments = ImpairmentsText(s.Condition->Impairments);
        row.Runs = s.Condition->Runs;
        row.Answered = s.Runs;
        row.Accepted = s.Accepted;
        row.Rejected = s.Rejected;
        row.Wrong = s.Wrong;
        if (active && play_->RunAt(current_).Condition == i) {
            row.State = TRowState::Playing;
        } else if (row.Answered == row.Runs) {
            row.Verdict = s.Verdict;
            row.State = s.Verdict == "PASS"   ? TRowState::Passed
                        : s.Verdict == "FAIL" ? TRowState::Failed
                                              : TRowState::Measured;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

TReceiverTestChart TReceiverTestModel::Chart() const {
    TReceiverTestChart chart;
    chart.YTitle = "shown (%)";
    chart.AgainstSnr = play_ && play_->Plan().Sensitivity;
    chart.Title = chart.AgainstSnr ? "Decode rate against SNR" : "Shown per condition";
    chart.XTitle = chart.AgainstSnr ? "SNR in 300-3400 Hz (dB)" : "condition";
    if (!play_) {
        return chart;
    }
    const auto scores = play_->Scores();
    for (std::size_t i = 0; i < scores.size(); ++i) {
        const TConditionScore& s = scores[i];
        const auto& snr = s.Condition->Impairments.SnrDb;
        if (s.Runs == 0 || (chart.AgainstSnr && !snr)) {
            continue;
        }
        chart.Points.push_back({s.Condition->Name,
                                chart.AgainstSnr ? *snr : static_cast<double>(i + 1),
                                100.0 * s.Accepted / s.Runs});
    }
    return chart;
}

}  // namespace ringlark
