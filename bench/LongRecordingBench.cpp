// long_recording_bench: what a long recording costs the desktop.
//
//   long_recording_bench scan FILE     the scan for messages (the list of a
//                                      recording too long for the viewer)
//   long_recording_bench load FILE     the conversion to the viewer's image
//   long_recording_bench viewer FILE   all that "Analyze Any Recording..." does
//                                      for a recording the viewer shows: the
//                                      image, the analyst tab's analysis, the
//                                      overview strip and the measurements
//
// Prints the events found (scan), the time taken and the peak resident memory;
// run it under /usr/bin/time -v for the kernel's own figure.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "analyst/AnalystTab.h"
#include "analyst/AnyRecording.h"
#include "analyst/LongRecording.h"
#include "analyst/Overview.h"
#include "analyst/WaveformViewer.h"
#include "core/RinglarkError.h"
#include "measurement/MeasurementReport.h"

namespace {

using namespace ringlark;

class TNoDialog : public IFileDialog {
  public:
    bool Execute() override { return false; }
};
class TNoNotices : public INotices {
  public:
    void ShowNotice(const std::string& text) override { std::printf("notice: %s\n", text.c_str()); }
    TDialogAnswer AskYesNoCancel(const std::string&) override { return TDialogAnswer::Cancel; }
};
class TNoProgress : public IProgress {
  public:
    void Begin(const std::string&, int64_t, int64_t, int64_t) override {}
    void Position(int64_t) override {}
    void End() override {}
};
class TNoSound : public ISoundPlayer {
  public:
    std::optional<std::string> Play(const Bytes&) override { return std::nullopt; }
};

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int Scan(const std::string& path) {
    const TRecordingInfo info = ReadRecordingInfo(path);
    int events = 0;
    TScanCallbacks callbacks;
    callbacks.Found = [&events](const TStreamEvent& event, double heard) {
        const TLongRecordingRow row = LongRecordingRow(event, heard);
        std::printf("%s %s %s%s | %s\n", row.Time.c_str(), row.Tag.c_str(), row.Hex.c_str(),
                    row.Uncertain ? " (uncertain)" : "", row.Fields.c_str());
        ++events;
    };
    ScanRecording(path, callbacks);
    std::printf("%s: %s at %g/s, %d channel(s); %d events\n", path.c_str(),
                ClockText(info.Seconds(), false).c_str(), info.Rate, info.Channels, events);
    return 0;
}

int Load(const std::string& path) {
    const TAnyRecording recording = LoadAnyRecording(path);
    std::printf("%s: image of %zu bytes, gain %.3f\n", path.c_str(), recording.Image.size(),
                recording.Gain);
    return 0;
}

int Viewer(const std::string& path) {
    TNoDialog dialog;
    TNoNotices notices;
    TNoProgress progress;
    TNoSound sound;
    TPlainAnalystHost host;
    TWaveformViewer viewer(dialog, notices, progress, sound);
    TAnalystTab tab(host, viewer, dialog);
    if (viewer.LoadAnyRecording(path) != TLoadResult::Loaded) {
        return 1;
    }
    std::printf("after the image: %ld KB\n", PeakKilobytes());
    tab.ReportLoadedImage();
    std::printf("after the analyst tab's analysis: %ld KB\n", PeakKilobytes());
    const TOverview overview = BuildOverview(viewer.LoadedImage, 771);
    std::printf("after the overview strip: %ld KB\n", PeakKilobytes());
    const Bytes kept = viewer.LoadedImage;  // the measurements window keeps its copy
    const auto measured = MeasureRecording(kept, {viewer.LevelGain, std::nullopt});
    std::printf("after the measurements: %ld KB\n", PeakKilobytes());
    std::printf("%s: image of %zu bytes, %zu spans, %zu measured\n", path.c_str(),
                viewer.LoadedImage.size(), overview.Spans.size(), measured.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: long_recording_bench scan|load|viewer FILE\n");
        return 2;
    }
    const std::string mode = argv[1];
    const auto start = std::chrono::steady_clock::now();
    int status = 2;
    try {
        status = mode == "scan"     ? Scan(argv[2])
                 : mode == "load"   ? Load(argv[2])
                 : mode == "viewer" ? Viewer(argv[2])
                                    : (std::fprintf(stderr, "unknown mode %s\n", argv[1]), 2);
    } catch (const RinglarkError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s took %.2f s, peak resident memory %ld KB\n", mode.c_str(), seconds,
                PeakKilobytes());
    return status;
}
