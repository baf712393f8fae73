// ringlark: the desktop program. Reads no command line.
#include <QApplication>
#include <QDir>
#include <QStandardPaths>

#include "CallerIdTabs.h"
#include "Config.h"
#include "InspectUnit.h"
#include "Options.h"
#include "PortAudioPlayer.h"
#include "ProgressUnit.h"
#include "QtServices.h"
#include "SigscopeMain.h"
#include "UnitEditParameter.h"
#include "wcidsim.h"

int main(int argc, char** argv) {
    using namespace ringlark;
    using namespace ringlark::ui;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ringlark"));
    QApplication::setOrganizationName(QStringLiteral("Ringlark"));

    const QString configFolder =
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    TRegFileStore store(ToPath(QDir(configFolder).filePath(QStringLiteral("ringlark.reg"))));
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
    TForm1Window form1(TDesktopServices{errors, notices, saveDialog, openDialog, viewerOpenDialog,
                                        sound, store, shell, clock, editParameter, progress});
    errors.SetParent(&form1);
    notices.SetParent(&form1);
    saveDialog.SetParent(&form1);
    openDialog.SetParent(&form1);
    viewerOpenDialog.SetParent(&form1);
    TFormOptionsWindow options(form1.App().FormOptions, &form1);
    form1.SetOptionsWindow(&options);
    TFormInspect inspect(&form1);
    form1.SetInspectWindow(&inspect);
    TFormProgress progressWindow(&form1);
    progress.Target = &progressWindow;
    TFormSigscope sigscope(form1.Model().Sigscope, errors, &form1);
    form1.SetSigscopeWindow(&sigscope);
    TFormEditParameter editParameterWindow(&form1);
    editParameter.Target = &editParameterWindow;

    form1.show();
    form1.FormShow();
    return QApplication::exec();
}
