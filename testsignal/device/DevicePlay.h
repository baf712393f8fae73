#pragma once

// A plan played to a receiver through the sound card: the runs in the plan's
// order, each as a 16-bit WAV image at the card's calibration, and the
// operator's word on what the device showed, scored as plan run scores a
// decoder. The command line and the desktop's Receiver Test window share it.
#include <optional>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "testsignal/Scoring.h"

namespace ringlark {

// The dBm calibrations a sound card may be given, as for the plans.
inline constexpr double MinDbmAtFs = -30;
inline constexpr double MaxDbmAtFs = 20;

// One run to play.
struct TPlayRun {
    std::size_t Condition = 0;  // index into the plan's conditions
    int Run = 1;                // 1-based
    std::string File;           // the name plan make gives its file
};

class TDevicePlay {
  public:
    // dbmAtFs: the level in dBm of a full-scale sine on the card's output;
    // nothing plays the plan's levels as they are in dBFS (the plan's own
    // calibration). Throws RinglarkError when it is out of range or the rate
    // is.
    TDevicePlay(TPlan plan, int rate, std::optional<double> dbmAtFs);

    const TPlan& Plan() const { return plan_; }
    int Rate() const { return rate_; }
    double DbmAtFs() const { return dbmAtFs_; }
    // What every sample is raised by: the plan's calibration minus the card's,
    // so that a level the plan gives in dBm reaches the line at that level.
    double GainDb() const { return gainDb_; }

    std::size_t Size() const { return runs_.size(); }
    const TPlayRun& RunAt(std::size_t i) const { return runs_.at(i); }
    const TPlanCondition& ConditionOf(std::size_t i) const {
        return plan_.Conditions.at(RunAt(i).Condition);
    }

    // Run i as a WAV image to play. Throws RinglarkError when the gain would
    // take it past full scale.
    Bytes Image(std::size_t i) const;

    // The operator's word on run i; a later word replaces an earlier one.
    void Answer(std::size_t i, TOutcome outcome);
    std::optional<TOutcome> AnswerOf(std::size_t i) const { return answers_.at(i); }
    // The first run without an answer; Size() when all have one.
    std::size_t NextUnanswered() const;

    // The answered runs in the plan's order, and the scores they give (a
    // condition with no answered run has no verdict yet: "-" when it need
    // none, else FAIL as in plan run).
    std::vector<TRunResult> Results() const;
    std::vector<TConditionScore> Scores() const;
    // The HTML report, as plan run writes it, saying how the runs were played.
    std::string Report() const;

  private:
    TPlan plan_;
    int rate_;
    double dbmAtFs_;
    double gainDb_;
    std::vector<TPlayRun> runs_;
    std::vector<std::optional<TOutcome>> answers_;
};

}  // namespace ringlark
