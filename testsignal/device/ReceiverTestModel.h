#pragma once

// The Receiver Test window's model: a plan and the sound card's calibration
// chosen, each run handed out to be played (the window plays it through the
// sound output off the GUI thread), the operator's Shown / Not shown / Wrong
// for each, the table and the chart as the answers come, and the report saved
// as plan play writes it. No Qt here: the tests drive it with scripted
// services.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Color.h"
#include "core/Services.h"
#include "testsignal/device/DevicePlay.h"

namespace ringlark {

// A row of the table, one per condition. Its colour follows State.
enum class TRowState { Waiting, Playing, Passed, Failed, Measured };
struct TReceiverTestRow {
    std::string Condition, Must, Impairments;
    int Runs = 0, Answered = 0, Accepted = 0, Rejected = 0, Wrong = 0;
    std::string Verdict;  // "PASS", "FAIL", "-" once every run is answered
    TRowState State = TRowState::Waiting;
};

// The row's background: none (white) while waiting, yellow while its run
// plays or waits for the answer, green passed, red failed, blue measured only.
TColor RowColor(TRowState state);

// What the chart draws: the share of runs shown (%) per condition, or against
// the SNR for a sensitivity plan; only conditions with an answer.
struct TChartPoint {
    std::string Label;
    double X = 0, Y = 0;
};
struct TReceiverTestChart {
    bool AgainstSnr = false;  // X: the SNR in dB; else the condition's number (1-based)
    std::string Title, XTitle, YTitle;
    std::vector<TChartPoint> Points;
};

class TReceiverTestModel {
  public:
    static constexpr std::string_view Caption = "Receiver Test";
    static constexpr std::string_view ReportFilter = "HTML report (*.html)|*.html";
    static constexpr std::string_view PlanFilter = "Test plan (*.json)|*.json";
    enum class TStage { Idle, Playing, Asking, Finished };

    // The controls: the plan (a built-in name or a plan file's path), the level in dBm of a
    // full-scale sine at the card's output (empty: the plan's own), the runs
    // per condition (empty: the plan's), the rate and the quiet before a run.
    std::vector<std::string> PlanNames;
    std::string PlanName = "bell";
    std::string DbmAtFs;
    std::string Runs;
    int Rate = 44100;
    double PauseSeconds = 2;

    TReceiverTestModel();

    TStage Stage() const { return stage_; }
    bool CanPlay() const { return stage_ == TStage::Idle || stage_ == TStage::Finished; }
    bool CanAnswer() const { return stage_ == TStage::Asking; }
    bool CanStop() const { return stage_ == TStage::Playing || stage_ == TStage::Asking; }
    bool CanSaveReport() const;
    const std::string& Status() const { return status_; }

    // Starts the plan from its first run and returns that run's WAV image to
    // play. Throws RinglarkError for a setting that cannot be read or a
    // calibration that would clip; nothing changes then.
    Bytes Play();
    // The sound output has played the current run: the operator is asked.
    // A failure ends the playing (the answers so far stay) and is thrown as
    // RinglarkError with its text.
    void Played(const std::optional<std::string>& failure);
    // The operator's word on the current run; the next run's image, or
    // nothing when that was the last.
    std::optional<Bytes> Answer(TOutcome outcome);
    // The current run once more.
    Bytes Replay();
    void Stop();
    // Asks for a plan file (JSON, as plan make reads) and reads it: it is
    // listed after the built-in plans by its path and chosen. Throws
    // RinglarkError ("Plan FILE: reason", "Cannot open file %s") when it
    // cannot be read; the choice then stays as it was.
    void OpenPlanFile(IFileDialog& dialog);
    // Asks for a file name and writes the report there. Throws RinglarkError
    // "Cannot create file %s" when it cannot be written.
    void SaveReport(IFileDialog& dialog);

    std::vector<TReceiverTestRow> Rows() const;
    TReceiverTestChart Chart() const;
    // The runs so far: played, asked, answered; nothing before the first Play.
    const TDevicePlay* Session() const { return play_ ? &*play_ : nullptr; }
    std::size_t Current() const { return current_; }

  private:
    std::vector<std::pair<std::string, TPlan>> filePlans_;  // path, plan
    std::optional<TDevicePlay> play_;
    std::size_t current_ = 0;
    TStage stage_ = TStage::Idle;
    std::string status_;

    Bytes Start(std::size_t run);
    std::string RunText(std::size_t run) const;
};

}  // namespace ringlark
