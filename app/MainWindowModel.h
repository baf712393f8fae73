#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "analyst/AnalystTab.h"
#include "app/About.h"
#include "app/CallerIdTabs.h"
#include "app/Config.h"
#include "app/OptionsModel.h"
#include "core/Services.h"
#include "generation/workflow/GenerationDriver.h"
#include "inspection/Inspector.h"
#include "workshop/Workshop.h"

// TMainWindowModel, the main window, as a model: controls are plain states, handlers are
// methods. The Qt binding copies states to widgets and forwards events.
namespace ringlark {

enum class TPage : int {
    Sdmf = 0,
    Mdmf = 1,
    Cwcid = 2,
    Workshop = 3,
    Analyst = 4,
    Misc = 5,
    About = 6
};

struct TPageInfo {
    std::string_view SheetName;
    std::string_view Caption;
    std::string_view Heading;
};
// Tabs 0 to 5; the about page (6) has its caption set by its mode.
const std::array<TPageInfo, 6>& PageTable();
inline constexpr std::string_view MiscLowerHeading = "Subscriber-Initiated Test";

// Enabled states of the commands that depend on the tab.
struct TMainCommands {
    bool SaveWorkshopScript = true;
    bool TransferCID = true;
    bool SaveWav = true;
    bool InspectMenu = true;
    bool SaveButton = true;
    bool PlayButton = true;
    bool InspectButton = true;
    bool operator==(const TMainCommands&) const = default;
};
TMainCommands CommandsForPage(TPage page);

struct TButtonInfo {
    std::string_view Name, Caption, Hint;
};
inline constexpr std::array<TButtonInfo, 4> OutputButtons = {{
    {"ButtonSave", "&Save", "Save the currently shown Caller ID stream to a WAV file"},
    {"ButtonPlay", "&Play", "Play the currently shown Caller ID Stream through your sound card"},
    {"ButtonInspect", "&Inspect", "Examine the currently-shown Caller ID Stream byte-by-byte"},
    {"ButtonQuit", "&Quit", "Exit Ringlark"},
}};

struct TMenuItemInfo {
    std::string_view Menu, Name, Caption;
};
// "-" is a separator. Hot keys are exactly the letters after "&".
inline constexpr std::array<TMenuItemInfo, 10> MainMenuItems = {{
    {"&File", "Save1", "&Save WAV File"},
    {"&File", "SaveWorkshopScript1", "Save &Workshop Script"},
    {"&File", "Inspect1", "&Inspect"},
    {"&File", "N1", "-"},
    {"&File", "Exit1", "&Exit"},
    {"&Options", "Preferences1", "&Preferences"},
    {"&Options", "TransferCIDtoWorkshop1", "&Transfer CID to Workshop"},
    {"&Help", "UsingRinglark1", "&Using Ringlark"},
    {"&Help", "About1", "&About Ringlark"},
    {"&Help", "ContactSupport1", "&Contact/Support"},
}};

// A combo box of recently used entries: its text and its drop-down items.
struct TComboItems {
    std::vector<Bytes> Items;
};

// Window geometry that the layout rules work on, in pixels.
struct TMainGeometry {
    static constexpr int DesignWidth = 459;
    static constexpr int DesignHeight = 454;
    static constexpr int MinWidth = 440;
    static constexpr int MinHeight = 450;
    static constexpr int Panel5Height = 66;
    static constexpr int StatusPanelWidth = 1024;
    static constexpr int ButtonStripLeft = 12;
    static constexpr int ButtonGap = 16;

    int Width = DesignWidth;
    int Height = DesignHeight;
    std::array<int, 4> ButtonLeft{};
    std::array<int, 4> ButtonWidth{};
    std::array<int, 7> ToolButtonWidth{};
    std::array<int, 3> ColumnWidth{};
};

class ITextMetrics {
  public:
    virtual ~ITextMetrics() = default;
    virtual int TextWidth(std::string_view text) = 0;
};

// What only the toolkit can do for the main window.
class IMainWindowHost {
  public:
    virtual ~IMainWindowHost() = default;
    virtual void ShowInspectorModal() = 0;
    virtual TDialogResult ShowOptionsModal() = 0;
    // Closing runs SaveConfigOnClose, then the application ends.
    virtual void CloseMainWindow() = 0;
    virtual void ShowHelpContents(const std::string& helpFile) = 0;
    virtual std::string ExecutableFolder() = 0;
    // The status bar is repainted at once, so that it shows while a sound plays.
    virtual void RepaintStatusBar() = 0;
};

struct TMainServices {
    IMainWindowHost& Host;
    IErrorReporter& Errors;
    INotices& Notices;
    IFileDialog& SaveDialog1;
    IFileDialog& OpenDialog1;
    TTickTimer& Timer1;
    ISoundPlayer& Sound;
    IConfigStore& Store;
    IShell& Shell;
    IClock& Clock;
    IParameterDialog& EditParameter;
    IFileDialog& ViewerOpenDialog;  // OpenDialog1 of the waveform viewer
    IProgress& Progress;
};

class TMainWindowModel : public IGenerationHost, public IAnalystHost {
  public:
    static constexpr std::string_view Title = "Ringlark";
    static constexpr std::string_view HelpFileName = "RINGLARK.HLP";

    TMainWindowModel(TMainServices services, TFormOptions& options);

    // --- state shown by the window
    std::string Caption;
    TPage Page = TPage::Sdmf;
    bool AboutVisible = false;
    TAboutPage About;
    TMainCommands Commands;
    Bytes StatusText;
    TCallerIdTabs Tabs;
    TComboItems NumberItems, NameItems, AnalystItems;
    Bytes AnalystFileText;  // ComboBox5
    TConfigValues Config;
    TWorkshop Workshop;
    TInspectorTable Inspector;
    TWaveformViewer Viewer;  // the waveform viewer's core: it owns the analyst's image
    TAnalystTab Analyst;
    TMainGeometry Geometry;
    std::string HelpFile;

    const TGenerationDriver& Driver() const { return driver_; }

    // --- operations; errors they do not handle travel as RinglarkError
    // Loads the configuration, fills the recently-used lists and the clock.
    void Initialise();
    // Caption, grid titles and the MDMF tab, when the window first shows.
    void ShowFirstTime();
    void ChangePage(TPage page);
    void PlayMessage();
    void SaveMessageAs();
    void InspectMessage();
    void QuitProgram();
    // Saves the configuration; a failure is reported and the window still closes.
    void SaveConfigOnClose();
    void ResizeTo(int width, int height, int panel5Width, int toolBarWidth, int gridWidth,
                  ITextMetrics& metrics);
    void FixMainButtonSizes(int panel5Width);
    void FixWorkshopSizes(int toolBarWidth, int gridWidth, ITextMetrics& metrics);
    void ShowOptions();
    void TransferToWorkshop();
    void SaveWorkshopScript();
    void ShowHelp();
    void ShowAbout();
    void ShowSupport();
    // A click on one of the about page's lines (1 to 4).
    void OpenAboutLine(int line) { About.ClickLine(line, services_.Shell); }
    void RefreshClock() { Tabs.RefreshClock(); }

    // --- the window's handlers, by the names its controls give them
    void FormCreate() { Initialise(); }
    void FormShow() { ShowFirstTime(); }
    void PageControl1Change(TPage page) { ChangePage(page); }
    void ButtonPlayClick() { PlayMessage(); }
    void ButtonSaveClick() { SaveMessageAs(); }
    void Save1Click() { SaveMessageAs(); }
    void ButtonInspectClick() { InspectMessage(); }
    void ButtonQuitClick() { QuitProgram(); }
    void Button2Click() { QuitProgram(); }
    void FormClose() { SaveConfigOnClose(); }
    void Options1Click() { ShowOptions(); }
    void TransferCIDtoWorkshop1Click() { TransferToWorkshop(); }
    void SaveWorkshopScript1Click() { SaveWorkshopScript(); }
    void UsingRinglark1Click() { ShowHelp(); }
    void About1Click() { ShowAbout(); }
    void ContactSupport1Click() { ShowSupport(); }
    void Label22Click() { OpenAboutLine(1); }
    void Label23Click() { OpenAboutLine(2); }
    void Timer1Timer() { RefreshClock(); }
    void RefreshMRUs();

    // --- IGenerationHost
    TCidRequest ReadCurrentTab() override;
    TCidRequest PeekCurrentTab() override;
    TGenerationOptions CurrentOptions() override;
    void BubbleMRU(TMruList list, const Bytes& entry) override;
    void WriteBackTypedTexts(const TCidRequest& request) override;
    void SetStatusText(const Bytes& text) override;
    void OutputButtonsChanged(const TOutputButtons& buttons) override;
    void PlayFailed(const std::string& reason) override;
    void PrepareInspector() override;
    void RefreshInspector(const Bytes& message) override;

    // --- IAnalystHost
    Bytes& AnalystFileName() override { return AnalystFileText; }
    void BubbleAnalystMRU(const Bytes& fileName) override;
    void ClearInspector() override;

  private:
    void ShowAboutPage(TAboutMode mode);
    TCallerIdTab* GeneratingTab();

    TMainServices services_;
    TFormOptions& options_;
    TCidRequest TabRequest(bool remember);
    TGenerationDriver driver_;
};

}  // namespace ringlark
