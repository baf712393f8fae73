#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "calllog/CallHook.h"
#include "calllog/CallLog.h"
#include "calllog/PhoneBook.h"
#include "core/Services.h"
#include "monitor/LineMonitor.h"
#include "monitor/WavRecorder.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSystemTrayIcon;
class QPushButton;
class QTableWidget;

namespace ringlark::ui {

// LineMonitorWindow: listens to a sound input and lists each caller-ID message
// and alert tone as it arrives. The listening runs on a thread of its own;
// its events reach the window through the event loop. Closing the window
// stops it and completes the recording. Each event heard goes into the call
// log ("Log calls to", by default the file beside the configuration), with
// the phone book's name for its number.
class LineMonitorWindow : public QDialog {
  public:
    // Opens the input chosen in the window: a device name or index ("" for the
    // default). Throws RinglarkError when it cannot.
    using TOpenInput = std::function<std::unique_ptr<ISoundInput>(const std::string& device)>;

    LineMonitorWindow(IErrorReporter& errors, TOpenInput openInput, QWidget* parent = nullptr);
    ~LineMonitorWindow() override;

    // Asks "File X exists.  Replace?" with Yes, No and Cancel (Cancel the
    // default), as the Save command asks: Yes replaces it, No leaves the name
    // to be changed, Cancel stops. The program gives its own message boxes;
    // without them a message box of the same form asks.
    INotices* Notices = nullptr;

    // Shows the inspector on a message's bytes, read in its standard's terms.
    std::function<void(const Bytes&, TCidStandard)> InspectMessage;

    // Each call heard while "Notify of calls" is checked and the window is not
    // in front is told here; unset, it is shown by a system tray icon where
    // the desktop has a tray. InFront, unset, is whether the window is active.
    std::function<void(const TCallNotice&)> Notify;
    std::function<bool()> InFront;

    // The device choice: the default input, then every input device.
    void FillDevices();
    void StartListening();
    void StopListening();
    bool Listening() const { return worker_.joinable(); }
    void InspectSelectedRow();
    // Empties the list; the next Start counts as the first again.
    void ClearRows();
    // The settings kept between runs: the call log's file ("" for the default
    // one), whether calls are notified, and the command run per message.
    void ApplySettings(const std::string& logFile, bool notify, const std::string& hook);
    std::string LogFileSetting() const;
    bool NotifySetting() const;
    std::string HookSetting() const;

    QComboBox* deviceBox = nullptr;
    QPushButton* startButton = nullptr;  // "Start" / "Stop"
    QProgressBar* levelMeter = nullptr;  // peak dBFS, -60 to 0
    QTableWidget* eventTable = nullptr;
    QCheckBox* recordBox = nullptr;
    QLineEdit* recordFileBox = nullptr;
    QCheckBox* logBox = nullptr;     // checked at first
    QCheckBox* notifyBox = nullptr;  // "Notify of calls", checked at first
    QLineEdit* hookBox = nullptr;    // "Run for each message:" a command, empty at first
    QLineEdit* logFileBox = nullptr;
    QPushButton* inspectButton = nullptr;
    QPushButton* clearButton = nullptr;
    QLabel* statusLabel = nullptr;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void AddRow(const TLineMonitorRow& row);
    void NotifyOfCall(const TLineMonitorRow& row);
    void ShowLevel(double peakDbfs, double seconds);
    void ShowInputLost(int run, int times);
    void Finished(int run, const std::string& failure);
    void RefreshButtons();
    TDialogAnswer AskReplace(const std::string& path);

    IErrorReporter& errors_;
    TOpenInput openInput_;
    TLineMonitorLog rows_;  // one entry per table row
    std::unique_ptr<ISoundInput> input_;
    std::unique_ptr<TWavRecorder> recorder_;
    std::unique_ptr<TCallLog> log_;  // written on the listening thread
    std::unique_ptr<TPhoneBook> book_;
    std::unique_ptr<THookRunner> hooks_;  // started on the listening thread
    QSystemTrayIcon* tray_ = nullptr;     // made at the first notice
    std::thread worker_;
    std::atomic<bool> stop_{false};
    double rate_ = 1;
    int run_ = 0;   // which listening the thread's last report belongs to
    int lost_ = 0;  // times the input lost samples in this listening
};

}  // namespace ringlark::ui
