// ringlark: the desktop program. Reads no command line.
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
#include "generation/sound/PortAudioPlayer.h"
#include "handshake/sound/DuplexDevice.h"
#include "handshake/ui/LineTestWindow.h"
#include "inspection/ui/InspectorWindow.h"
#include "measurement/ui/SignalMeasurementsWindow.h"
#include "monitor/sound/PortAudioInput.h"
#include "monitor/ui/LineMonitorWindow.h"
#include "workshop/ui/EditParameterDialog.h"

int main(int argc, char** argv) {
    using namespace ringlark;
    using namespace ringlark::ui;

    // The one argument the program knows, answered before any window opens.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("ringlark %s\n", RINGLARK_VERSION);
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
    EditParameterDialog editParameterWindow(&form1);
    editParameter.Target = &editParameterWindow;

    form1.show();
    form1.ShowFirstTime();
    return QApplication::exec();
}
