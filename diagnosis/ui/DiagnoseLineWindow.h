#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/Services.h"
#include "diagnosis/DiagnosisReport.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace ringlark::ui {

// DiagnoseLineWindow: the line diagnosis of a recording, or of what a sound
// input hears until Stop (one call or several), shown as the command line
// shows it: the sentences on top, the evidence, every message's bytes and the
// advice below. Loading, listening and diagnosing run on a thread of their
// own; the report reaches the window through the event loop.
class DiagnoseLineWindow : public QDialog {
  public:
    // Opens an input device by name or index ("" for the default). Throws
    // RinglarkError when it cannot.
    using TOpenInput = std::function<std::unique_ptr<ISoundInput>(const std::string& device)>;

    DiagnoseLineWindow(IErrorReporter& errors, TOpenInput openInput, QWidget* parent = nullptr);
    ~DiagnoseLineWindow() override;

    // Any recording the analyst's loader reads (libsndfile, resampled).
    void OpenRecording(const std::string& path);
    void StartListening();
    // Ends the listening; what was heard is diagnosed.
    void StopListening();
    bool Busy() const { return worker_.joinable() && !done_.load(); }

    // The program's dBm calibration (Options), unless one is set here already.
    void SetDbmAtFullScale(std::optional<double> dbm);

    // The report shown last (empty before the first).
    const TDiagnosisReport& Report() const { return report_; }

    QPushButton* openButton = nullptr;
    QPushButton* listenButton = nullptr;  // "Listen" / "Stop and Diagnose"
    QLineEdit* deviceBox = nullptr;       // empty: the default input
    QComboBox* expectBox = nullptr;       // "Any standard", "Bell 202", ...
    QCheckBox* calibratedBox = nullptr;
    QDoubleSpinBox* dbmBox = nullptr;      // dBm of a full-scale sine
    QLabel* summaryLabel = nullptr;        // the sentences
    QPlainTextEdit* reportView = nullptr;  // the whole report
    QLabel* statusLabel = nullptr;

  protected:
    void closeEvent(class QCloseEvent* event) override;

  private:
    TDiagnoseOptions Options() const;
    void Run(std::function<void()> work);
    void Show(const TDiagnosis& diagnosis, const std::string& source);
    void Failed(const std::string& reason);
    void Join();
    void RefreshButtons();

    IErrorReporter& errors_;
    TOpenInput openInput_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{true};
    bool listening_ = false;
    TDiagnosisReport report_;
};

}  // namespace ringlark::ui
