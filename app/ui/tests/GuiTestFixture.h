#pragma once
// The main window with every service it uses, for the GUI tests: real Qt
// windows on the offscreen platform, scripted dialogs and stores, and sound
// played through ALSA's file plugin.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <cstdlib>

#include "analyst/ui/ProgressWindow.h"
#include "analyst/ui/WaveformViewerWindow.h"
#include "app/tests/AppTestSupport.h"
#include "app/ui/MainWindow.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/QtServices.h"
#include "core/NullServices.h"
#include "core/WavImage.h"
#include "generation/FskSynth.h"
#include "generation/sound/PortAudioPlayer.h"
#include "generation/workflow/GenerationDriver.h"
#include "inspection/Inspector.h"
#include "inspection/ui/InspectorWindow.h"
#include "measurement/ui/SignalMeasurementsWindow.h"
#include "tests/support/TestSupport.h"

namespace ringlark::ui {

// ALSA's default device writes what it is sent into this file (set up by the
// tests' main).
extern std::filesystem::path gCapture;

class TNoParameterDialog : public IParameterDialog {
  public:
    bool Execute() override { return false; }
};

class GuiTest : public ::testing::Test {
  protected:
    GuiTest()
        : sound(portAudio),
          window(TDesktopServices{errors, notices, saveDialog, openDialog, viewerOpenDialog, sound,
                                  store, shell, clock, editParameter, progress}),
          options(window.App().FormOptions, &window),
          inspect(&window),
          viewer(window.Model().Viewer, errors, &window),
          measurements(&window) {
        window.SetOptionsWindow(&options);
        window.SetInspectWindow(&inspect);
        window.SetViewerWindow(&viewer);
        window.SetMeasurementsWindow(&measurements);
        window.show();
        window.ShowFirstTime();
    }

    void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    void SelectTab(TPage page) { window.pages->setCurrentIndex(static_cast<int>(page)); }
    void Type(QComboBox* box, const QString& text) { box->setEditText(text); }
    void Type(QLineEdit* edit, const QString& text) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    // A modal window opened by the next action is handled by `answer`.
    void WhenModalOpens(std::function<void()> answer) {
        QTimer::singleShot(0, &window, [answer = std::move(answer)] { answer(); });
    }
    void UseFixedSdmfFields() {
        auto& sdmf = window.tabWidgets[0];
        SelectTab(TPage::Sdmf);
        Click(sdmf.UseCurrent);  // unchecked: the fields become editable
        Type(sdmf.Number, QStringLiteral("12-34"));
        Type(sdmf.Date, QStringLiteral("0101"));
        Type(sdmf.Time, QStringLiteral("1200"));
    }

    test::TRecordingErrors errors;
    test::TScriptedNotices notices;
    test::TScriptedFileDialog saveDialog;
    test::TScriptedFileDialog openDialog;
    test::TScriptedFileDialog viewerOpenDialog;
    TPortAudioPlayer portAudio;
    TBlockingSound sound;
    test::TMemoryStore store;
    TQtShell shell;
    test::TFixedClock clock;
    TNoParameterDialog editParameter;
    TNoProgress progress;
    MainWindow window;
    OptionsDialog options;
    InspectorWindow inspect;
    WaveformViewerWindow viewer;
    SignalMeasurementsWindow measurements;
};

inline std::string WriteRecording(const test::TTempDir& dir, const Bytes& message,
                                  TSignalling signalling) {
    TFskSynth synth;
    const auto path = (dir / "recording.wav").string();
    SaveImageToFile(path, SynthesiseImage(synth, message, signalling));
    return path;
}

inline QColor Pixel(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}
}  // namespace ringlark::ui
