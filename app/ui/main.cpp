// ringlark: the desktop program. Knows --version and --help; every other
// argument is Qt's (-platform, -style, ...).
#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <cstdio>
#include <string_view>

#include "analyst/ui/ProgressWindow.h"
#include "analyst/ui/WaveformViewerWindow.h"
#include "app/CallerIdTabs.h"
#include "app/Config.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/QtServices.h"
#include "calllog/CallLog.h"
#include "calllog/ui/CallLogWindow.h"
#include "diagnosis/ui/DiagnoseLineWindow.h"
#include "generation/sound/PortAudioPlayer.h"
#include "handshake/sound/DuplexDevice.h"
#include "handshake/ui/LineTestWindow.h"
#include "inspection/ui/InspectorWindow.h"
#include "measurement/ui/SignalMeasurementsWindow.h"
#include "monitor/sound/PortAudioInput.h"
#include "monitor/ui/LineMonitorWindow.h"
#include "testsignal/ui/ReceiverTestWindow.h"
#include "workshop/ui/EditParameterDialog.h"

namespace {
const char* const kDesktopUsage =
    "Usage: ringlark [Qt options]\n"
    "       ringlark --version | --help\n"
    "\n"
    "The desktop workbench for telephone caller-ID signalling audio: compose,\n"
    "play, save, inspect and decode caller ID; the line monitor, the call log\n"
    "and the signal measurements. ringlark-cli does the same from the command line.\n"
    "\n"
    "Options:\n"
    "  --version             print the version and exit\n"
    "  --help                print this text and exit\n"
    "  -platform NAME        Qt platform plugin (xcb, wayland, offscreen)\n"
    "  -style STYLE          widget style, e.g. Fusion\n"
    "  -stylesheet FILE      Qt style sheet for every window\n"
    "  -display DISPLAY      X11 display\n"
    "  -reverse              right-to-left layout\n"
    "  -qwindowgeometry G    main window size and place, WIDTHxHEIGHT+X+Y\n"
    "\n"
    "See ringlark(1) and ringlark-cli(1).\n";
}  // namespace

int main(int argc, char** argv) {
    using namespace ringlark;
    using namespace ringlark::ui;

    // The program's own arguments, answered before any window opens.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("ringlark %s\n", RINGLARK_VERSION);
        return 0;
    }
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::fputs(kDesktopUsage, stdout);
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ringlark"));
    QApplication::setOrganizationName(QStringLiteral("Ringlark"));

    // ~/.config/Ringlark/ringlark.reg; a store at the earlier place
    // (~/.config/Ringlark/Ringlark/) is read once and then saved here.
    const QDir configFolder(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/Ringlark"));
    TRegFileStore store(ToPath(configFolder.filePath(QStringLiteral("ringlark.reg"))),
                        ToPath(configFolder.filePath(QStringLiteral("Ringlark/ringlark.reg"))));
    TQtErrorReporter errors(nullptr);
    TQtNotices notices(nullptr);
    TQtFileDialog saveDialog(TQtFileDialog::Mode::Save, nullptr);
    TQtFileDialog openDialog(TQtFileDialog::Mode::Open, nullptr);
    TQtFileDialog viewerOpenDialog(TQtFileDialog::Mode::Open, nullptr);
    TQtFileDialog reportDialog(TQtFileDialog::Mode::Save, nullptr);
    TQtFileDialog planDialog(TQtFileDialog::Mode::Open, nullptr);
    TPortAudioPlayer portAudio;
    TBlockingSound sound(portAudio);
    TQtShell shell;
    TSystemClock clock;
    TLateParameterDialog editParameter;
    TLateProgress progress;

    // The windows, each created once, in order: the main window first.
    MainWindow form1(TDesktopServices{errors, notices, saveDialog, openDialog, viewerOpenDialog,
                                      sound, store, shell, clock, editParameter, progress});
    errors.SetParent(&form1);
    notices.SetParent(&form1);
    saveDialog.SetParent(&form1);
    openDialog.SetParent(&form1);
    viewerOpenDialog.SetParent(&form1);
    reportDialog.SetParent(&form1);
    planDialog.SetParent(&form1);
    OptionsDialog options(form1.App().FormOptions, &form1);
    form1.SetOptionsWindow(&options);
    InspectorWindow inspect(&form1);
    form1.SetInspectWindow(&inspect);
    ProgressWindow progressWindow(&form1);
    progress.Target = &progressWindow;
    WaveformViewerWindow viewer(form1.Model().Viewer, errors, &form1);
    form1.SetViewerWindow(&viewer);
    LineMonitorWindow lineMonitor(
        errors,
        [](const std::string& device) -> std::unique_ptr<ISoundInput> {
            return std::make_unique<TPortAudioInput>(device, 0);
        },
        &form1);
    lineMonitor.InspectMessage = [&form1](const Bytes& message, TCidStandard standard) {
        form1.InspectBytes(message, standard);
    };
    lineMonitor.Notices = &notices;
    form1.SetLineMonitorWindow(&lineMonitor);
    CallLogWindow callLog(DefaultCallLogPath(), &form1);
    form1.SetCallLogWindow(&callLog);
    LineTestWindow lineTest(
        errors,
        []() -> std::unique_ptr<IDuplexSound> { return std::make_unique<TDuplexDevice>("", 0); },
        &form1);
    form1.SetLineTestWindow(&lineTest);
    SignalMeasurementsWindow measurements(&form1);
    form1.SetMeasurementsWindow(&measurements);
    // Plays on a thread of its own: the sound card directly, not the
    // generator's blocking player that disables the windows.
    ReceiverTestWindow receiverTest(portAudio, errors, reportDialog, planDialog, &form1);
    form1.SetReceiverTestWindow(&receiverTest);
    DiagnoseLineWindow diagnoseLine(
        errors,
        [](const std::string& device) -> std::unique_ptr<ISoundInput> {
            return std::make_unique<TPortAudioInput>(device, 0);
        },
        &form1);
    form1.SetDiagnoseLineWindow(&diagnoseLine);
    EditParameterDialog editParameterWindow(&form1);
    editParameter.Target = &editParameterWindow;

    form1.show();
    form1.ShowFirstTime();
    return QApplication::exec();
}
