#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/Services.h"
#include "handshake/linetest/LineTest.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace ringlark::ui {

// LineTestWindow: plays either end of the call-waiting exchange (the
// exchange, or the telephone set) against a simulated peer or through the
// sound card, and lists every step of every run with its figure, limits and
// result. The test runs on a thread of its own; its rows reach the window
// through the event loop. Closing the window stops it.
class LineTestWindow : public QDialog {
  public:
    // Opens the sound card for input and output at once. Throws
    // RinglarkError when it cannot.
    using TOpenSound = std::function<std::unique_ptr<IDuplexSound>()>;

    LineTestWindow(IErrorReporter& errors, TOpenSound openSound, QWidget* parent = nullptr);
    ~LineTestWindow() override;

    // The message the exchange sends (the call-waiting tab's).
    Bytes Message;
    // The simulated peer's rate.
    static constexpr double SimulationRate = 8000;

    void StartTest();
    void StopTest();
    bool Running() const { return worker_.joinable(); }

    QComboBox* roleBox = nullptr;      // "Exchange", "Telephone set"
    QComboBox* standardBox = nullptr;  // bell, etsi, bt
    QComboBox* peerBox = nullptr;      // "Simulated peer", "Sound card"
    QComboBox* ackDigitBox = nullptr;  // D, A, B, C, none
    QDoubleSpinBox* ackDelayBox = nullptr;
    QSpinBox* repeatBox = nullptr;
    QCheckBox* noAckWaitBox = nullptr;
    QCheckBox* calibrateBox = nullptr;
    QPushButton* startButton = nullptr;  // "Start" / "Stop"
    QTableWidget* stepTable = nullptr;   // Run, Step, Measured, Limits, Result
    QLabel* summaryLabel = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    TLineTestSettings Settings() const;
    void AddRows(int run, const std::vector<TStepRow>& rows);
    void Finished(const std::string& summary, const std::string& failure);
    void RefreshButtons();

    IErrorReporter& errors_;
    TOpenSound openSound_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
};

}  // namespace ringlark::ui
