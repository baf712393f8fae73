#include "analyst/AnalystTab.h"

namespace ringlark {

std::vector<Bytes> ReportLines(const TAutoResult& result) {
    if (result.Uncertain) {
        // Shown, never hidden, and never passed off as decoded.
        return {"Uncertain reading:",
                result.MethodTag == "V23" ? "(Using Analysis Method 3, V.23)"
                                          : "(Using Analysis Method 3)",
                " ",
                result.Text,
                " ",
                "Another reading also fits:",
                result.Alternative,
                " ",
                "Neither can be trusted. Click INSPECT to see the first in detail."};
    }
    if (!result.Failed()) {
        std::vector<Bytes> lines = {"Here is what I decoded:",
                                    result.MethodTag == "ZCA"    ? "(Using Analysis Method 1)"
                                    : result.MethodTag == "PEAK" ? "(Using Analysis Method 2)"
                                    : result.MethodTag == "V23"  ? "(Using Analysis Method 3, V.23)"
                                    : result.MethodTag == "DTMF" ? "(Using the DTMF Detector)"
                                                                 : "(Using Analysis Method 3)",
                                    " ",
                                    result.Text,
                                    " ",
                                    "Click INSPECT to see a detailed analysis!"};
        // Two errors can cancel in the checksum: say why the reading is not
        // taken as a message although its sum is right.
        if (const std::string rule = result.BrokenRule(); !rule.empty()) {
            lines.insert(
                lines.begin() + 5,
                {"The checksum adds up but " + rule + ": this is not a trustworthy message.", " "});
        }
        return lines;
    }
    return {"Sorry, I could not make sense of this file.",
            "Here's what it looks like to me:",
            " ",
            "Analysis Method 1:",
            result.ZeroCrossingText(),
            " ",
            "Analysis Method 2:",
            result.Text};
}

TAnalystTab::TAnalystTab(IAnalystHost& host, TWaveformViewer& viewer, IFileDialog& openDialog)
    : host_(host), viewer_(viewer), openDialog_(openDialog) {}

void TAnalystTab::BrowseForRecording() {
    openDialog_.InitialDir = ".\\";
    openDialog_.Filter = std::string(BrowseFilter);
    if (openDialog_.Execute()) {
        host_.AnalystFileName() = openDialog_.FileName;
    }
}

void TAnalystTab::AnalyzeRecording() {
    host_.BubbleAnalystMRU(host_.AnalystFileName());
    Report.clear();
    if (viewer_.LoadWAV(host_.AnalystFileName()) != TLoadResult::Loaded) {
        return;  // cancelled, or refused with the loader's notice
    }
    host_.BubbleAnalystMRU(host_.AnalystFileName());
    ReportLoadedImage();
}

void TAnalystTab::ReportLoadedImage() {
    const TAutoResult result = viewer_.Analyzer.AutoAnalyze(viewer_.LoadedImage);
    LastResult = result;
    Report = ReportLines(result);
    // After a failure Inspect gets the method-0 text itself (not the results
    // box's fifth line, which a line-feed byte in the text would cut short).
    AnalystInspectText =
        result.Failed() ? result.ZeroCrossingText() + " " + result.Text : result.Text;
}

bool TAnalystTab::AnalyzeAnyRecording(const std::string& fileName) {
    if (viewer_.LoadAnyRecording(fileName) != TLoadResult::Loaded) {
        return false;  // the loader has said why
    }
    ReportLoadedImage();
    Report.insert(Report.begin(), {std::string(AnyRecordingHeading) + fileName, " "});
    return true;
}

bool TAnalystTab::TooLongForViewer(const std::string& fileName) const {
    const TRecordingInfo info = ReadRecordingInfo(fileName);
    return static_cast<double>(info.Frames) > ViewerLimitSeconds * info.Rate;
}

bool TAnalystTab::AnalyzeExcerpt(const std::string& fileName, double fromSeconds,
                                 double toSeconds) {
    if (viewer_.LoadRecordingExcerpt(fileName, fromSeconds, toSeconds) != TLoadResult::Loaded) {
        return false;
    }
    ReportLoadedImage();
    Report.insert(Report.begin(), {std::string(AnyRecordingHeading) + fileName + ", " +
                                       ClockText(viewer_.ExcerptSeconds.first, true) + " to " +
                                       ClockText(viewer_.ExcerptSeconds.second, true),
                                   " "});
    return true;
}

void TAnalystTab::ClearResults() {
    Report.clear();
    AnalystInspectText.clear();
    host_.ClearInspector();
}

}  // namespace ringlark
