#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "Application.h"
#include "MainWindowModel.h"
#include "Services.h"
#include "WavLoader.h"

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

class TFormInspect;
class TFormOptionsWindow;
class TFormSigscope;

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

// TForm1: binds the main window model to Qt widgets.
class TForm1Window : public QMainWindow, public IMainWindowHost {
  public:
    explicit TForm1Window(TDesktopServices services);
    ~TForm1Window() override;

    TRinglarkApplication& App() { return *app_; }
    TForm1& Model() { return app_->Form1; }
    void SetOptionsWindow(TFormOptionsWindow* window) { options_ = window; }
    void SetInspectWindow(TFormInspect* window) { inspect_ = window; }
    void SetSigscopeWindow(TFormSigscope* window) { sigscope_ = window; }

    // FormShow: caption, place, grid titles, sizes and the MDMF tab.
    void FormShow();
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
    std::array<TTabWidgets, 3> Tabs;  // SDMF, MDMF, CWCID
    QTabWidget* PageControl1 = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonPlay = nullptr;
    QPushButton* ButtonInspect = nullptr;
    QPushButton* ButtonQuit = nullptr;
    QAction* Save1 = nullptr;
    QAction* SaveWorkshopScript1 = nullptr;
    QAction* Inspect1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Preferences1 = nullptr;
    QAction* TransferCIDtoWorkshop1 = nullptr;
    QAction* UsingRinglark1 = nullptr;
    QAction* About1 = nullptr;
    QAction* ContactSupport1 = nullptr;
    QAction* WaveformViewer1 = nullptr;  // "&View", "&Waveform Viewer"
    QLabel* StatusPanel = nullptr;
    QTableWidget* StringGrid1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    std::array<QAction*, 7> WorkshopActions{};  // Add, Del, Edit, Up, Down, Load, Save
    QMenu* WorkshopMenu = nullptr;
    std::array<QAction*, 5> WorkshopMenuActions{};  // Add, Delete, Edit, Move Up, Move Down
    QRadioButton* RadioButton4 = nullptr;
    QRadioButton* RadioButton5 = nullptr;
    std::array<QRadioButton*, 3> MiscChoices{};
    QComboBox* ComboBox5 = nullptr;
    QPushButton* ButtonOpenAnalystWAV = nullptr;
    QPushButton* Button1 = nullptr;       // Clear
    QPushButton* Button3 = nullptr;       // Analyze...
    QPushButton* ButtonViewer = nullptr;  // Viewer...
    QPlainTextEdit* Memo1 = nullptr;
    std::array<TClickLabel*, 4> AboutLines{};
    QPushButton* Button2 = nullptr;  // the about page's OK
    QTimer* Timer1 = nullptr;

  protected:
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
    void RefreshWorkshop();
    void RefreshAbout();
    void ApplyGeometry();

    TDesktopServices services_;
    TTickTimer timer_;
    std::unique_ptr<TRinglarkApplication> app_;
    TFormOptionsWindow* options_ = nullptr;
    TFormInspect* inspect_ = nullptr;
    TFormSigscope* sigscope_ = nullptr;
    void ShowViewer();
    QWidget* panel5_ = nullptr;
    bool refreshing_ = false;
    bool closing_ = false;
};

}  // namespace ringlark::ui
