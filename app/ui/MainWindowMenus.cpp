// The main window's menu and what the model asks of the toolkit: modal windows, help, closing, the
// status bar.
#include "app/ui/MainWindow.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "analyst/AnyRecording.h"
#include "analyst/ui/LongRecordingWindow.h"
#include "analyst/ui/WaveformViewerWindow.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/QtServices.h"
#include "calllog/ui/CallLogWindow.h"
#include "core/Cp1252.h"
#include "core/RinglarkError.h"
#include "diagnosis/ui/DiagnoseLineWindow.h"
#include "generation/workflow/TabRequest.h"
#include "handshake/ui/LineTestWindow.h"
#include "inspection/ui/InspectorWindow.h"
#include "measurement/ui/SignalMeasurementsWindow.h"
#include "monitor/ui/LineMonitorWindow.h"
#include "testsignal/ui/ReceiverTestWindow.h"
#include "testsignal/ui/TestSignalDialog.h"

#include "analyst/ui/WaveformViewerWindow.h"
#include "app/ui/MainWindowWidgets.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/QtServices.h"
#include "inspection/ui/InspectorWindow.h"

namespace ringlark::ui {

using namespace widgets;

void MainWindow::BuildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    saveAction = file->addAction(QStringLiteral("&Save WAV File"));
    saveWorkshopScriptAction = file->addAction(QStringLiteral("Save &Workshop Script"));
    inspectAction = file->addAction(QStringLiteral("&Inspect"));
    file->addSeparator();
    anyRecordingAction = file->addAction(QStringLiteral("Analyze &Any Recording..."));
    connect(anyRecordingAction, &QAction::triggered, this, [this] { AnalyzeAnyRecording(); });
    file->addSeparator();
    exitAction = file->addAction(QStringLiteral("&Exit"));
    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    preferencesAction = options->addAction(QStringLiteral("&Preferences"));
    transferAction = options->addAction(QStringLiteral("&Transfer CID to Workshop"));
    testSignalAction = options->addAction(QStringLiteral("Test &Signal..."));
    connect(testSignalAction, &QAction::triggered, this, [this] { ShowTestSignal(); });
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    helpAction = help->addAction(QStringLiteral("&Using Ringlark"));
    aboutAction = help->addAction(QStringLiteral("&About Ringlark"));
    supportAction = help->addAction(QStringLiteral("&Contact/Support"));
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    viewerAction = view->addAction(QStringLiteral("&Waveform Viewer"));
    connect(viewerAction, &QAction::triggered, this, [this] { ShowViewer(); });
    lineMonitorAction = view->addAction(QStringLiteral("&Line Monitor"));
    connect(lineMonitorAction, &QAction::triggered, this, [this] { ShowLineMonitor(); });
    callLogAction = view->addAction(QStringLiteral("&Call Log"));
    connect(callLogAction, &QAction::triggered, this, [this] { ShowCallLog(); });
    lineTestAction = view->addAction(QStringLiteral("Line &Test"));
    connect(lineTestAction, &QAction::triggered, this, [this] { ShowLineTest(); });
    measurementsAction = view->addAction(QStringLiteral("&Signal Measurements"));
    connect(measurementsAction, &QAction::triggered, this, [this] { ShowMeasurements(); });
    receiverTestAction = view->addAction(QStringLiteral("&Receiver Test"));
    connect(receiverTestAction, &QAction::triggered, this, [this] { ShowReceiverTest(); });
    diagnoseLineAction = view->addAction(QStringLiteral("&Diagnose Line"));
    connect(diagnoseLineAction, &QAction::triggered, this, [this] { ShowDiagnoseLine(); });
    menuBar()->insertMenu(help->menuAction(), view);
    const std::vector<std::pair<QAction*, std::function<void(TMainWindowModel&)>>> bindings = {
        {saveAction, [](TMainWindowModel& f) { f.SaveMessageAs(); }},
        {saveWorkshopScriptAction, [](TMainWindowModel& f) { f.SaveWorkshopScript(); }},
        {inspectAction, [](TMainWindowModel& f) { f.InspectMessage(); }},
        {exitAction, [](TMainWindowModel& f) { f.QuitProgram(); }},
        {preferencesAction, [](TMainWindowModel& f) { f.ShowOptions(); }},
        {transferAction, [](TMainWindowModel& f) { f.TransferToWorkshop(); }},
        {helpAction, [](TMainWindowModel& f) { f.ShowHelp(); }},
        {aboutAction, [](TMainWindowModel& f) { f.ShowAbout(); }},
        {supportAction, [](TMainWindowModel& f) { f.ShowSupport(); }},
    };
    for (const auto& [action, handler] : bindings) {
        connect(action, &QAction::triggered, this,
                [this, handler = handler] { Run([&] { handler(Model()); }); });
    }
}

void MainWindow::ShowInspectorModal() {
    if (inspect_ != nullptr) {
        inspect_->ShowTable(Model().Inspector);
        inspect_->ExecBeside(this);
    }
}

TDialogResult MainWindow::ShowOptionsModal() {
    return options_ != nullptr ? options_->Run() : TDialogResult::Cancel;
}

void MainWindow::CloseMainWindow() {
    close();
}

void MainWindow::ShowHelpContents(const std::string& helpFile) {
    QDialog help(this);
    help.setWindowTitle(QStringLiteral("Ringlark Help"));
    auto* layout = new QVBoxLayout(&help);
    auto* browser = new QTextBrowser(&help);
    const QString path = FromPath(helpFile);
    if (QFileInfo::exists(path)) {
        browser->setSource(QUrl::fromLocalFile(path), QTextDocument::HtmlResource);
    } else {
        browser->setPlainText(QStringLiteral("Cannot find the help file %1.").arg(path));
    }
    layout->addWidget(browser);
    help.resize(640, 560);
    help.exec();
}

std::string MainWindow::ExecutableFolder() {
    return ToPath(QCoreApplication::applicationDirPath());
}

void MainWindow::RepaintStatusBar() {
    statusPanel->setText(FromCp1252(Model().StatusText));
    statusPanel->repaint();
}

void MainWindow::SetLineMonitorWindow(LineMonitorWindow* window) {
    lineMonitor_ = window;
    if (window != nullptr) {
        const TConfigValues& c = Model().Config;
        window->ApplySettings(c.MonitorLogFile, c.MonitorNotify, c.MonitorHook);
    }
}

void MainWindow::KeepLineMonitorSettings() {
    if (lineMonitor_ != nullptr) {
        Model().Config.MonitorLogFile = lineMonitor_->LogFileSetting();
        Model().Config.MonitorNotify = lineMonitor_->NotifySetting();
        Model().Config.MonitorHook = lineMonitor_->HookSetting();
    }
}

void MainWindow::ShowLineMonitor() {
    if (lineMonitor_ != nullptr) {
        lineMonitor_->FillDevices();
        lineMonitor_->show();
        lineMonitor_->raise();
    }
}

void MainWindow::ShowLineTest() {
    if (lineTest_ != nullptr) {
        if (!lineTest_->Running()) {
            lineTest_->Message = BuildCidMessage(
                RequestFromTab(Model().Tabs.Cwcid, TCallerIdTabKind::Cwcid), TFilterOptions{});
        }
        lineTest_->show();
        lineTest_->raise();
    }
}

void MainWindow::ShowCallLog() {
    if (callLog_ != nullptr) {
        callLog_->show();
        callLog_->raise();
        callLog_->Refresh();
    }
}

void MainWindow::AnalyzeAnyRecording() {
    IFileDialog& dialog = services_.ViewerOpenDialog;
    dialog.Title = "Analyze Any Recording";
    dialog.DefaultExt = "";
    dialog.Filter = std::string(kAnyRecordingFilter);
    if (!dialog.Execute()) {
        return;
    }
    try {
        if (Model().Analyst.TooLongForViewer(dialog.FileName)) {
            // Its messages are listed instead (the window says why), and any
            // of them opened in the viewer with a few seconds around it.
            if (longRecordingWindow == nullptr) {
                longRecordingWindow =
                    new LongRecordingWindow(Model().Analyst, services_.Errors, this);
                longRecordingWindow->OnOpened = [this] {
                    RefreshAll();
                    ShowViewer();
                    ShowMeasurements();
                };
            }
            longRecordingWindow->Scan(dialog.FileName);
            longRecordingWindow->show();
            longRecordingWindow->raise();
            return;
        }
        if (!Model().Analyst.AnalyzeAnyRecording(dialog.FileName)) {
            return;  // the loader has said why
        }
        RefreshAll();
        ShowViewer();
        ShowMeasurements();
    } catch (const RinglarkError& error) {
        services_.Errors.ReportError(error.what());
    }
}

void MainWindow::ShowDiagnoseLine() {
    if (diagnoseLine_ != nullptr) {
        diagnoseLine_->SetDbmAtFullScale(Model().Config.DbmAtFullScale);
        diagnoseLine_->show();
        diagnoseLine_->raise();
    }
}

void MainWindow::ShowMeasurements() {
    if (measurements_ != nullptr) {
        measurements_->ShowRecording(Model().Viewer.LoadedImage,
                                     {Model().Viewer.LevelGain, Model().Config.DbmAtFullScale});
        measurements_->show();
        measurements_->raise();
    }
}

void MainWindow::InspectBytes(const Bytes& message, TCidStandard standard) {
    if (inspect_ != nullptr) {
        inspect_->ShowTable(BuildInspector(message, standard));
        inspect_->ExecBeside(this);
    }
}

void MainWindow::ShowViewer() {
    if (viewer_ != nullptr) {
        viewer_->UpdateScreen();
        viewer_->show();
        viewer_->raise();
    }
}

void MainWindow::ShowReceiverTest() {
    if (receiverTest_ != nullptr) {
        receiverTest_->OfferCalibration(Model().Config.DbmAtFullScale);
        receiverTest_->show();
        receiverTest_->raise();
    }
}

void MainWindow::ShowTestSignal() {
    TestSignalDialog dialog(services_.Errors, this);
    dialog.Edit(Model().Config.TestSignal);
}

}  // namespace ringlark::ui
