#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "analyst/WavLoader.h"
#include "core/Bytes.h"
#include "core/Services.h"
#include "decoding/ByteExtraction.h"

namespace ringlark {

namespace viewer {
inline constexpr std::string_view Caption = "Waveform Viewer";
inline constexpr std::string_view OpenFilter = "WAV Files (*.WAV)|*.WAV";
}  // namespace viewer

// The waveform viewer's core: it owns the loaded image that the analyst and the
// viewer work on, and the analysis state that outlives each analysis.
class TWaveformViewer {
  public:
    TWaveformViewer(IFileDialog& openDialog, INotices& notices, IProgress& progress,
                    ISoundPlayer& sound);

    Bytes LoadedImage;
    std::array<uint8_t, 44> LoadedHeader{};
    int32_t SampleByteCount = 0;
    std::string Caption = std::string(viewer::Caption);
    TByteAnalyzer Analyzer;

    // Scroll bar of the viewer: design range until the first load.
    int64_t ScrollMin = 0;
    int64_t ScrollMax = 100;
    int64_t ScrollPosition = 0;
    std::function<void()> OnLoaded;  // the viewer redraws

    // An empty name asks with the open dialog. The image, header and sample
    // count change together, only when the file is accepted; a refused file is
    // told in a notice. Throws RinglarkError "Cannot open file %s".
    TLoadResult LoadWAV(const std::string& fileName);
    // The checks and conversion of LoadWAV on the bytes of a file already read.
    TLoadResult LoadFileBytes(Bytes file);
    // Any recording libsndfile reads, made into the 8-bit 44100/s image
    // (AnyRecording.h); LevelGain keeps what its samples were multiplied by.
    // Throws RinglarkError "Cannot open file %s".
    TLoadResult LoadAnyRecording(const std::string& fileName);
    // A stretch of any recording, converted as LoadAnyRecording converts the
    // whole (its gain that stretch's own); the caption names the file and the
    // stretch, kept in ExcerptSeconds (cut to the recording).
    TLoadResult LoadRecordingExcerpt(const std::string& fileName, double fromSeconds,
                                     double toSeconds);
    std::pair<double, double> ExcerptSeconds{0, 0};
    // What the loaded image's samples were multiplied by (1 for a WAV file
    // loaded as it is): its levels are those of the recording less this gain.
    double LevelGain = 1;

    bool Converting() const { return converting_; }

    // Plays the image from the scroll position (nothing when no image is
    // loaded; a failure is told in a notice).
    void PlayFromScroll();
    // One method's bit text framed into the frame listing.
    void AnalyzeZeroCrossing();
    void AnalyzePeak();
    // Method 3's bit decisions in the frame listing.
    void AnalyzeCorrelation();
    // The automatic analysis told in a notice: the decoded bytes first and the
    // tag on the second line.
    void AutoAnalyzeToNotice();

    // The viewer's buttons: "Play", "Analyze ZCA", "Analyze Peak", "Auto Analyze",
    // "Analyze Corr".
    void Button2Click() { PlayFromScroll(); }
    void Button3Click() { AnalyzeZeroCrossing(); }
    void Button4Click() { AnalyzePeak(); }
    void Button5Click() { AutoAnalyzeToNotice(); }
    void ButtonCorrClick() { AnalyzeCorrelation(); }
    bool HasImage() const { return LoadedImage.size() > 44; }

  private:
    // The image, header, count and scroll range change together.
    void TakeImage(Bytes image);

    IFileDialog& openDialog_;
    INotices& notices_;
    IProgress& progress_;
    ISoundPlayer& sound_;
    bool converting_ = false;
};

}  // namespace ringlark
