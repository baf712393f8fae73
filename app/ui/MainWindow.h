#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "analyst/WaveformViewer.h"
#include "app/Application.h"
#include "app/MainWindowModel.h"
#include "core/Services.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
class QToolBar;
class QWidget;

namespace ringlark::ui {

class InspectorWindow;
class OptionsDialog;
class WaveformViewerWindow;
class LineMonitorWindow;
class CallLogWindow;
class SignalMeasurementsWindow;
class ReceiverTestWindow;
class DiagnoseLineWindow;
class LineTestWindow;
class LongRecordingWindow;

// The services the main window is built with: real ones in the program,
// scripted ones in tests.
struct TDesktopServices {
    IErrorReporter& Errors;
    INotices& Notices;
    IFileDialog& SaveDialog1;
    IFileDialog& OpenDialog1;
    IFileDialog& ViewerOpenDialog;
    ISoundPlayer& Sound;
    IConfigStore& Store;
    IShell& Shell;
    IClock& Clock;
    IParameterDialog& EditParameter;
    IProgress& Progress;
};

// A label that runs an action when clicked.
class TClickLabel : public QLabel {
  public:
    using QLabel::QLabel;
    std::function<void()> OnClick;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// TMainWindowModel: binds the main window model to Qt widgets.
class MainWindow : public QMainWindow, public IMainWindowHost {
  public:
    static constexpr std::string_view kUnsendableNote =
        "A character typed has no Windows-1252 code and is sent as \"?\"";
    explicit MainWindow(TDesktopServices services);
    ~MainWindow() override;

    TRinglarkApplication& App() { return *app_; }
    TMainWindowModel& Model() { return app_->MainModel; }
    void SetOptionsWindow(OptionsDialog* window) { options_ = window; }
    void SetInspectWindow(InspectorWindow* window) { inspect_ = window; }
    void SetViewerWindow(WaveformViewerWindow* window) { viewer_ = window; }
    // The window takes the settings the configuration keeps for it.
    void SetLineMonitorWindow(LineMonitorWindow* window);
    // Its settings into the configuration, before it is saved.
    void KeepLineMonitorSettings();
    void SetCallLogWindow(CallLogWindow* window) { callLog_ = window; }
    void SetLineTestWindow(LineTestWindow* window) { lineTest_ = window; }
    void SetMeasurementsWindow(SignalMeasurementsWindow* window) { measurements_ = window; }
    void SetReceiverTestWindow(ReceiverTestWindow* window) { receiverTest_ = window; }
    void SetDiagnoseLineWindow(DiagnoseLineWindow* window) { diagnoseLine_ = window; }
    // The inspector on any message's bytes (the line monitor's rows); the
    // inspection of the generated message stays as it was.
    // The inspector on a message's bytes, read in its standard's terms.
    void InspectBytes(const Bytes& message, TCidStandard standard);

    // ShowFirstTime: caption, place, grid titles, sizes and the MDMF tab.
    void ShowFirstTime();
    // Copies the model's state to every widget.
    void RefreshAll();

    // --- IMainWindowHost
    void ShowInspectorModal() override;
    TDialogResult ShowOptionsModal() override;
    void CloseMainWindow() override;
    void ShowHelpContents(const std::string& helpFile) override;
    std::string ExecutableFolder() override;
    void RepaintStatusBar() override;

    // --- widgets, named as the window names them
    struct TTabWidgets {
        QComboBox* Number = nullptr;
        QComboBox* Name = nullptr;
        QLineEdit* Date = nullptr;
        QLineEdit* Time = nullptr;
        QCheckBox* UseCurrent = nullptr;
        QCheckBox* OutOfArea = nullptr;
        QCheckBox* Private = nullptr;
        QCheckBox* LongDistance = nullptr;
        QCheckBox* NumberDisabled = nullptr;
        QCheckBox* NameDisabled = nullptr;
    };
    std::array<TTabWidgets, 3> tabWidgets;  // SDMF, MDMF, CWCID
    QTabWidget* pages = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* inspectButton = nullptr;
    QPushButton* quitButton = nullptr;
    QAction* saveAction = nullptr;
    QAction* saveWorkshopScriptAction = nullptr;
    QAction* inspectAction = nullptr;
    QAction* exitAction = nullptr;
    QAction* preferencesAction = nullptr;
    QAction* testSignalAction = nullptr;  // "&Options", "Test &Signal..."
    QAction* transferAction = nullptr;
    QAction* helpAction = nullptr;
    QAction* aboutAction = nullptr;
    QAction* supportAction = nullptr;
    QAction* viewerAction = nullptr;        // "&View", "&Waveform Viewer"
    QAction* lineMonitorAction = nullptr;   // "&View", "&Line Monitor"
    QAction* callLogAction = nullptr;       // "&View", "&Call Log"
    QAction* lineTestAction = nullptr;      // "&View", "Line &Test"
    QAction* measurementsAction = nullptr;  // "&View", "&Signal Measurements"
    QAction* receiverTestAction = nullptr;  // "&View", "&Receiver Test"
    QAction* diagnoseLineAction = nullptr;  // "&View", "&Diagnose Line"
    QAction* anyRecordingAction = nullptr;  // "&File", "Analyze &Any Recording..."
    // Made by that action for the first recording too long for the viewer.
    LongRecordingWindow* longRecordingWindow = nullptr;
    QLabel* statusPanel = nullptr;
    QLabel* standardPanel = nullptr;  // the standard, when not Bell 202
    QTableWidget* workshopGrid = nullptr;
    QToolBar* workshopToolBar = nullptr;
    std::array<QAction*, 7> workshopActions{};  // Add, Del, Edit, Up, Down, Load, Save
    QMenu* workshopMenu = nullptr;
    std::array<QAction*, 5> workshopMenuActions{};  // Add, Delete, Edit, Move Up, Move Down
    QRadioButton* onHookButton = nullptr;
    QRadioButton* callWaitingButton = nullptr;
    std::array<QRadioButton*, 3> miscChoices{};
    QComboBox* analystFileBox = nullptr;
    QPushButton* browseButton = nullptr;
    QPushButton* clearButton = nullptr;    // Clear
    QPushButton* analyzeButton = nullptr;  // Analyze...
    QPushButton* viewerButton = nullptr;   // Viewer...
    QPlainTextEdit* resultsBox = nullptr;
    std::array<TClickLabel*, 4> aboutLines{};
    QPushButton* aboutOkButton = nullptr;  // the about page's OK
    QTimer* tickTimer = nullptr;

    static constexpr std::string_view kAnyRecordingFilter =
        "Sound Files (*.WAV;*.FLAC;*.OGG;*.AIFF;*.AU;*.CAF)|*.WAV;*.FLAC;*.OGG;*.AIFF;*.AU;*.CAF|"
        "All Files (*.*)|*.*";

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Runs a handler of the model: an error it does not handle is shown by the
    // general error reporting; then the widgets show the new state.
    void Run(const std::function<void()>& handler);
    QWidget* BuildCallerIdTab(int index);
    QWidget* BuildWorkshopTab();
    QWidget* BuildAnalystTab();
    QWidget* BuildMiscTab();
    QWidget* BuildAboutPage();
    QWidget* BuildButtonStrip();
    void BuildMenu();
    void RefreshTabs();
    void RefreshDateTime();
    void RefreshWorkshop();
    void RefreshAbout();
    void ApplyGeometry();
    // The status bar says so when typed text holds a character that the
    // message cannot carry (it is sent as "?").
    void NoteUnsendable(const QString& typed);

    TDesktopServices services_;
    TTickTimer timer_;
    std::unique_ptr<TRinglarkApplication> app_;
    OptionsDialog* options_ = nullptr;
    InspectorWindow* inspect_ = nullptr;
    WaveformViewerWindow* viewer_ = nullptr;
    LineMonitorWindow* lineMonitor_ = nullptr;
    CallLogWindow* callLog_ = nullptr;
    LineTestWindow* lineTest_ = nullptr;
    SignalMeasurementsWindow* measurements_ = nullptr;
    ReceiverTestWindow* receiverTest_ = nullptr;
    void ShowMeasurements();
    // Offers the calibration of Preferences when the window has none typed.
    void ShowReceiverTest();
    // The impairments generation applies, kept in the configuration.
    void ShowTestSignal();
    DiagnoseLineWindow* diagnoseLine_ = nullptr;
    void ShowDiagnoseLine();
    // Any sound file libsndfile reads, made into the analyst's 8-bit 44100/s
    // image, loaded into the viewer and measured; the analyst's own
    // "Analyze..." keeps its 8-bit mono rule.
    void AnalyzeAnyRecording();
    void ShowViewer();
    void ShowLineMonitor();
    void ShowCallLog();
    // The Line Test window, with the CWCID tab's message to send.
    void ShowLineTest();
    QWidget* panel5_ = nullptr;
    bool refreshing_ = false;
    bool closing_ = false;
};

}  // namespace ringlark::ui
