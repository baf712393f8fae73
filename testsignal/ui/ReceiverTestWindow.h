#pragma once

#include <QDialog>
#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "core/Services.h"
#include "testsignal/device/ReceiverTestModel.h"

class QChartView;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace ringlark::ui {

// ReceiverTestWindow: plays a test plan to a caller-ID device through the
// sound output, one run at a time, and takes the operator's Shown / Not shown
// / Wrong for each; the table and the chart fill in as the answers come and
// the report can be saved. Each run plays on a thread of its own (the sound
// output blocks until the last sample has played); its end reaches the window
// through the event loop.
class ReceiverTestWindow : public QDialog {
  public:
    ReceiverTestWindow(ISoundPlayer& sound, IErrorReporter& errors, IFileDialog& saveDialog,
                       IFileDialog& openDialog, QWidget* parent = nullptr);
    ~ReceiverTestWindow() override;

    TReceiverTestModel& Model() { return model_; }
    // The calibration in force in the program, offered when the field is
    // empty (nothing: the plan's own).
    void OfferCalibration(std::optional<double> dbmAtFs);
    // Whether a run is playing now (the thread has not reported back).
    bool Busy() const { return busy_; }

    void PlayPlan();
    void Answer(TOutcome outcome);
    void ReplayRun();
    void StopPlan();
    void SaveReport();
    void OpenPlanFile();

    QComboBox* planBox = nullptr;
    QPushButton* openPlanButton = nullptr;  // "Open Plan File..."
    QLineEdit* calibrationBox = nullptr;    // dBm of a full-scale sine
    QLineEdit* runsBox = nullptr;
    QComboBox* rateBox = nullptr;
    QDoubleSpinBox* pauseBox = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* stopButton = nullptr;
    QPushButton* replayButton = nullptr;
    QPushButton* shownButton = nullptr;
    QPushButton* notShownButton = nullptr;
    QPushButton* wrongButton = nullptr;
    QPushButton* saveButton = nullptr;
    QLabel* statusLabel = nullptr;
    QTableWidget* resultTable = nullptr;
    QChartView* chartView = nullptr;

  private:
    void TakeSettings();
    void StartPlaying(const Bytes& image);
    void Played(const std::optional<std::string>& failure);
    void Refresh();
    void RefreshTable();
    void RefreshChart();

    ISoundPlayer& sound_;
    IErrorReporter& errors_;
    IFileDialog& saveDialog_;
    IFileDialog& openDialog_;
    TReceiverTestModel model_;
    std::thread worker_;
    bool busy_ = false;
};

}  // namespace ringlark::ui
