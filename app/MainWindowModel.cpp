#include "app/MainWindowModel.h"

#include "generation/workflow/TabRequest.h"

#include "core/FileWriting.h"
#include "core/RinglarkError.h"

namespace ringlark {

namespace {

constexpr std::array<TPageInfo, 6> kPages = {{
    {"TabSheetSDMF", "SDMF", "SDMF Number-Only Caller ID"},
    {"TabSheetMDMF", "MDMF", "MDMF Name-And-Number Caller ID"},
    {"TabSheetCWCID", "CWCID", "MDMF Call Waiting Caller ID"},
    {"TabSheetWorkshop", "MDMF Workshop", "MDMF Custom Stream Workshop"},
    {"TabSheetAnalyst", "FSK Analyst", "Bell 202 FSK Signal Analyst"},
    {"TabSheetMisc", "Misc.", "Visual Message Waiting Indication"},
}};

void Refill(TComboItems& items, const TMRU& list, std::vector<Bytes*> texts) {
    for (Bytes* text : texts) {
        text->clear();
    }
    items.Items.clear();
    for (std::size_t n = 0; n < list.size(); ++n) {
        if (list[n].empty()) {
            continue;
        }
        if (n == 0) {
            for (Bytes* text : texts) {
                *text = list[n];
            }
        }
        items.Items.push_back(list[n]);
    }
}

}  // namespace

const std::array<TPageInfo, 6>& PageTable() {
    return kPages;
}

TMainCommands CommandsForPage(TPage page) {
    switch (page) {
        case TPage::Sdmf:
        case TPage::Misc:
            return {false, false, true, true, true, true, true};
        case TPage::Mdmf:
        case TPage::Cwcid:
            return {true, true, true, true, true, true, true};
        case TPage::Workshop:
            return {true, false, true, true, true, true, true};
        case TPage::Analyst:
            return {false, false, false, true, false, false, true};
        case TPage::About:
            break;
    }
    return {false, false, false, false, false, false, false};
}

TMainWindowModel::TMainWindowModel(TMainServices services, TFormOptions& options)
    : Tabs(services.Clock),
      Workshop(services.EditParameter, services.SaveDialog1, services.OpenDialog1,
               services.Notices),
      Viewer(services.ViewerOpenDialog, services.Notices, services.Progress, services.Sound),
      Analyst(*this, Viewer, services.OpenDialog1),
      services_(services),
      options_(options),
      driver_(*this, services.Timer1, services.Sound, services.SaveDialog1, services.Notices) {
    EmptyInspectorRows(Inspector, InitialInspectorRows);
    services_.Timer1.SetHandler([this] { RefreshClock(); });
    // The window layout's texts, until start-up replaces them.
    for (TCallerIdTab* tab : {&Tabs.Sdmf, &Tabs.Mdmf, &Tabs.Cwcid}) {
        tab->NumberText = "800-555-1212";
        tab->NameText = "John Doe";
    }
    Tabs.Sdmf.NameText.clear();
}

void TMainWindowModel::Initialise() {
    // Every value has its initial state before the configuration is read, and a
    // value that cannot be read is reported and keeps its default.
    for (const std::string& error : GetConfig(services_.Store, Config)) {
        services_.Errors.ReportError(error);
    }
    RefreshMRUs();
    Tabs.RememberedOutOfArea = false;
    Tabs.RememberedPrivate = false;
    RefreshClock();
}

void TMainWindowModel::ShowFirstTime() {
    Caption = std::string(Title);
    Page = TPage::Mdmf;
    Commands = CommandsForPage(TPage::Mdmf);
}

void TMainWindowModel::ChangePage(TPage page) {
    AboutVisible = false;
    Page = page;
    Commands = CommandsForPage(page);
}

void TMainWindowModel::PlayMessage() {
    driver_.PlayMessage();
}

void TMainWindowModel::SaveMessageAs() {
    driver_.SaveMessageAs();
}

void TMainWindowModel::InspectMessage() {
    if (Page == TPage::Analyst) {
        if (!Analyst.AnalystInspectText.empty()) {
            // a V.23 or DTMF result is explained in its own system's terms
            Inspector = BuildInspector(Analyst.AnalystInspectText, Analyst.LastResult.Standard());
        }
    } else {
        driver_.GoButton(std::string(TGenerationDriver::InspectOnly));
    }
    services_.Host.ShowInspectorModal();
}

void TMainWindowModel::QuitProgram() {
    if (Page == TPage::About) {
        ChangePage(TPage::Mdmf);
        return;
    }
    services_.Host.CloseMainWindow();
}

void TMainWindowModel::SaveConfigOnClose() {
    try {
        SaveConfig(services_.Store, Config);
    } catch (const RinglarkError& error) {
        services_.Errors.ReportError(error.what());
    }
}

void TMainWindowModel::ResizeTo(int width, int height, int panel5Width, int toolBarWidth,
                                int gridWidth, ITextMetrics& metrics) {
    Geometry.Width = width < TMainGeometry::MinWidth ? TMainGeometry::MinWidth : width;
    Geometry.Height = height < TMainGeometry::MinHeight ? TMainGeometry::MinHeight : height;
    FixWorkshopSizes(toolBarWidth, gridWidth, metrics);
    FixMainButtonSizes(panel5Width);
}

void TMainWindowModel::FixMainButtonSizes(int panel5Width) {
    const int w = panel5Width / 4 - 18;
    int left = TMainGeometry::ButtonStripLeft;
    for (std::size_t i = 0; i < Geometry.ButtonWidth.size(); ++i) {
        Geometry.ButtonWidth[i] = w;
        Geometry.ButtonLeft[i] = left;
        left += w + TMainGeometry::ButtonGap;
    }
}

void TMainWindowModel::FixWorkshopSizes(int toolBarWidth, int gridWidth, ITextMetrics& metrics) {
    const int b = toolBarWidth / 7;
    Geometry.ToolButtonWidth.fill(b);
    Geometry.ToolButtonWidth[6] = toolBarWidth - 6 * b;
    Geometry.ColumnWidth[0] = metrics.TextWidth("Seq.") + 8;
    Geometry.ColumnWidth[1] = metrics.TextWidth("Parameter") + 8;
    Geometry.ColumnWidth[2] = gridWidth - Geometry.ColumnWidth[0] - Geometry.ColumnWidth[1] - 3;
    Workshop.StringGridZero();
}

void TMainWindowModel::ShowOptions() {
    const TDialogResult result = services_.Host.ShowOptionsModal();
    ApplyOptions(options_, result, Config.Amplitude, Config.Clip);
    ApplySystemChoices(options_, result, Config);
}

TCallerIdTab* TMainWindowModel::GeneratingTab() {
    switch (Page) {
        case TPage::Sdmf:
            return &Tabs.Sdmf;
        case TPage::Mdmf:
            return &Tabs.Mdmf;
        case TPage::Cwcid:
            return &Tabs.Cwcid;
        default:
            return nullptr;
    }
}

void TMainWindowModel::TransferToWorkshop() {
    if (Page == TPage::Mdmf || Page == TPage::Cwcid) {
        const TSignalling signalling =
            Page == TPage::Cwcid ? TSignalling::CallWaiting : TSignalling::OnHook;
        Workshop.TransferCIDtoWorkshop(*GeneratingTab(), signalling);
        Page = TPage::Workshop;  // the commands keep the source tab's states
    } else if (Page == TPage::Workshop) {
        Workshop.WorkshopSave();
    }
}

void TMainWindowModel::SaveWorkshopScript() {
    if (Page == TPage::Mdmf || Page == TPage::Cwcid) {
        const TPage source = Page;
        const TSignalling signalling =
            Page == TPage::Cwcid ? TSignalling::CallWaiting : TSignalling::OnHook;
        const TCallerIdTab tab = *GeneratingTab();
        bool written = false;
        try {
            Page = TPage::Workshop;
            written = Workshop.SaveWorkshopScriptFrom(tab, signalling);
        } catch (...) {
            Page = source;
            throw;
        }
        if (!written) {
            Page = source;  // the user's list, signalling and tab come back
        }
    } else if (Page == TPage::Workshop) {
        Workshop.WorkshopSave();  // once
    }
}

void TMainWindowModel::ShowHelp() {
    std::string folder = services_.Host.ExecutableFolder();
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    HelpFile = folder + std::string(HelpFileName);
    // Installed, the help file lives in share/ringlark beside bin/.
    const std::string installed = folder + "../share/ringlark/" + std::string(HelpFileName);
    if (!FileExists(HelpFile) && FileExists(installed)) {
        HelpFile = installed;
    }
    services_.Host.ShowHelpContents(HelpFile);
}

void TMainWindowModel::ShowAboutPage(TAboutMode mode) {
    About.Show(mode);
    AboutVisible = true;
    Page = TPage::About;
    Commands = CommandsForPage(TPage::About);
}

void TMainWindowModel::ShowAbout() {
    ShowAboutPage(TAboutMode::About);
}
void TMainWindowModel::ShowSupport() {
    ShowAboutPage(TAboutMode::Support);
}

void TMainWindowModel::RefreshMRUs() {
    Refill(NumberItems, Config.NumberMRU,
           {&Tabs.Sdmf.NumberText, &Tabs.Mdmf.NumberText, &Tabs.Cwcid.NumberText});
    Refill(NameItems, Config.NameMRU, {&Tabs.Mdmf.NameText, &Tabs.Cwcid.NameText});
    Refill(AnalystItems, Config.AnalystMRU, {&AnalystFileText});
}

TCidRequest TMainWindowModel::ReadCurrentTab() {
    return TabRequest(true);
}

TCidRequest TMainWindowModel::PeekCurrentTab() {
    return TabRequest(false);
}

TCidRequest TMainWindowModel::TabRequest(bool remember) {
    TCidRequest request;
    if (Page == TPage::Workshop) {
        request.Workshop = true;
        request.Rows = Workshop.List.Rows();
        request.Signalling = Workshop.Signalling;
        return request;
    }
    if (Page == TPage::Misc) {
        // tested in this order; the last one found checked wins
        if (Tabs.VmwiOn) {
            request.Kind = TMessageKind::VmwiOn;
        }
        if (Tabs.VmwiOff) {
            request.Kind = TMessageKind::VmwiOff;
        }
        if (Tabs.TestMessage) {
            request.Kind = TMessageKind::Test;
        }
        return request;
    }
    const TCallerIdTab* tab = GeneratingTab();
    if (tab == nullptr) {
        return request;
    }
    const TCallerIdTabKind kind = Page == TPage::Sdmf    ? TCallerIdTabKind::Sdmf
                                  : Page == TPage::Cwcid ? TCallerIdTabKind::Cwcid
                                                         : TCallerIdTabKind::Mdmf;
    request = RequestFromTab(*tab, kind);
    if (remember) {
        Tabs.RememberGenerated(*tab);
    }
    return request;
}

TGenerationOptions TMainWindowModel::CurrentOptions() {
    return {options_.Filters(), Config.Amplitude,   Config.Clip,      Config.Standard,
            Config.EtsiAlert,   Config.DtmfFraming, Config.DtmfCodes, Config.TestSignal};
}

void TMainWindowModel::BubbleMRU(TMruList list, const Bytes& entry) {
    TMRU& mru = list == TMruList::Numbers ? Config.NumberMRU : Config.NameMRU;
    if (ringlark::BubbleMRU(mru, entry)) {
        RefreshMRUs();
    }
}

void TMainWindowModel::WriteBackTypedTexts(const TCidRequest& request) {
    // Only after both lists are refreshed: a refresh of the name list must not
    // bring back a number the user cleared.
    if (TCallerIdTab* tab = GeneratingTab()) {
        tab->NumberText = request.NumberText;
        if (request.Kind == TMessageKind::Mdmf) {
            tab->NameText = request.NameText;
        }
    }
}

void TMainWindowModel::SetStatusText(const Bytes& text) {
    StatusText = text;
    services_.Host.RepaintStatusBar();
}

void TMainWindowModel::OutputButtonsChanged(const TOutputButtons& buttons) {
    Commands.SaveButton = buttons.Save;
    Commands.PlayButton = buttons.Play;
    Commands.InspectButton = buttons.Inspect;
}

void TMainWindowModel::PlayFailed(const std::string& reason) {
    StatusText += "  [" + reason + "]";
    services_.Host.RepaintStatusBar();
}

void TMainWindowModel::PrepareInspector() {
    EmptyInspectorRows(Inspector, PreparedInspectorRows);
}

void TMainWindowModel::RefreshInspector(const Bytes& message) {
    Inspector = BuildInspector(message);
}

void TMainWindowModel::BubbleAnalystMRU(const Bytes& fileName) {
    if (ringlark::BubbleMRU(Config.AnalystMRU, fileName)) {
        RefreshMRUs();
    }
}

void TMainWindowModel::ClearInspector() {
    EmptyInspectorRows(Inspector, PreparedInspectorRows);
}

}  // namespace ringlark
