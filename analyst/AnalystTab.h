#pragma once

#include <string>
#include <utility>
#include <vector>

#include "analyst/LongRecording.h"
#include "analyst/WaveformViewer.h"
#include "core/Bytes.h"
#include "core/Services.h"

namespace ringlark {

// What the analyst tab needs of the main window.
class IAnalystHost {
  public:
    virtual ~IAnalystHost() = default;
    // ComboBox5, the file-name box.
    virtual Bytes& AnalystFileName() = 0;
    // Puts a file name at the front of the analyst list and refills the boxes.
    virtual void BubbleAnalystMRU(const Bytes& fileName) = 0;
    // "Clear" empties the inspector to 199 byte rows.
    virtual void ClearInspector() = 0;
};

// The host of an analyst with no window around it (the command line, a batch,
// tests): it keeps the file name and has no list or inspector to update.
class TPlainAnalystHost : public IAnalystHost {
  public:
    explicit TPlainAnalystHost(Bytes fileName = {}) : FileName(std::move(fileName)) {}
    Bytes& AnalystFileName() override { return FileName; }
    void BubbleAnalystMRU(const Bytes&) override {}
    void ClearInspector() override {}
    Bytes FileName;
};

// The "FSK Analyst" tab: the report shown in the results box and the bytes
// that Inspect shows.
class TAnalystTab {
  public:
    static constexpr std::string_view BrowseFilter = "WAV files (*.WAV)|*.WAV";

    TAnalystTab(IAnalystHost& host, TWaveformViewer& viewer, IFileDialog& openDialog);

    std::vector<Bytes> Report;  // the lines of the results box
    Bytes AnalystInspectText;
    TAutoResult LastResult;  // of the last completed analysis

    // Asks for a recording with the open dialog and puts its name in the box.
    void BrowseForRecording();
    // Loads, analyses and reports. Throws RinglarkError when the file cannot be
    // opened; a refused file ends it after the loader's notice.
    void AnalyzeRecording();
    // The analysis and report of the image the viewer holds now.
    void ReportLoadedImage();
    // "File", "Analyze Any Recording...": the recording is loaded into the
    // viewer (AnyRecording.h) and its report shown here, under a line that
    // says where it came from; the file-name box and its list stay as they
    // are (the tab's own "Analyze..." reads 8-bit mono WAV files only).
    // Returns whether it was loaded. Throws RinglarkError "Cannot open file %s".
    bool AnalyzeAnyRecording(const std::string& fileName);
    static constexpr std::string_view AnyRecordingHeading = "Analyze Any Recording: ";
    // The longest recording AnalyzeAnyRecording is given (LongRecording.h).
    double ViewerLimitSeconds = ringlark::ViewerLimitSeconds;
    // Whether the recording is longer than that: its messages are then listed
    // (TLongRecordingList) instead. Throws RinglarkError "Cannot open file %s".
    bool TooLongForViewer(const std::string& fileName) const;
    // The stretch of a recording from `fromSeconds` to `toSeconds` loaded and
    // reported as AnalyzeAnyRecording does, under a heading that says where it
    // came from: "Analyze Any Recording: FILE, 1:02:01.5 to 1:02:08.2".
    bool AnalyzeExcerpt(const std::string& fileName, double fromSeconds, double toSeconds);
    void ClearResults();

    // The tab's buttons: "Browse...", "Analyze...", "Clear".
    void ButtonOpenAnalystWAVClick() { BrowseForRecording(); }
    void Button3Click() { AnalyzeRecording(); }
    void Button1Click() { ClearResults(); }

  private:
    IAnalystHost& host_;
    TWaveformViewer& viewer_;
    IFileDialog& openDialog_;
};

// The report lines of an automatic analysis.
std::vector<Bytes> ReportLines(const TAutoResult& result);

}  // namespace ringlark
