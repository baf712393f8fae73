#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "ByteExtraction.h"
#include "Bytes.h"
#include "Services.h"

namespace ringlark {

enum class TLoadResult { Cancelled, Refused, Loaded };

namespace loader {
inline constexpr std::string_view UnsupportedFormat =
    "Unsupported format!\r\nWAV file must be 8-bit mono.";
inline constexpr std::string_view UnsupportedRate =
    "WAV file most be 11025, 22050, or 44100 samples per second.";
inline constexpr std::string_view TooLarge =
    "WAV file too large!\r\nFiles of 2 GB or more cannot be analysed.";
inline constexpr std::string_view Caption = "Sigscope 1.0";
inline constexpr std::string_view OpenFilter = "WAV Files (*.WAV)|*.WAV";
inline constexpr std::string_view ConvertingFrom11k = "Converting from 11k format";
inline constexpr std::string_view ConvertingFrom22k = "Converting from 22k format";
// A header may claim more samples than the file holds; up to one second of
// input is made up by repeating the last sample, beyond that the conversion
// stops at the end of the file.
inline constexpr uint32_t MaxRepeatedShortfall = 44100;
inline constexpr int64_t MaxImageSize = INT32_MAX;
}  // namespace loader

// Converts an image at 11025 or 22050 samples per second to 44100. The header is
// rewritten (rate, byte rate and data size multiplied; the RIFF size kept).
Bytes ConvertBy4(const Bytes& file, IProgress& progress);
Bytes ConvertBy2(const Bytes& file, IProgress& progress);

// The waveform viewer's core: it owns the loaded image that the analyst and the
// viewer work on, and the analysis state that outlives each analysis.
class TSigscope {
  public:
    TSigscope(IFileDialog& openDialog, INotices& notices, IProgress& progress);

    Bytes LoadedImage;
    std::array<uint8_t, 44> LoadedHeader{};
    int32_t SampleByteCount = 0;
    std::string Caption = std::string(loader::Caption);
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

    bool Converting() const { return converting_; }

    // The viewer's buttons. "Play" plays from the scroll position (nothing when
    // no image is loaded; a failure is told in a notice); the analysis buttons
    // show the frame listing of one method; "Auto Analyze" tells its result in a
    // notice, the decoded bytes first and the tag on the second line.
    ISoundPlayer* Sound = nullptr;
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    // "Analyze Corr": method 3's bit decisions in the frame listing.
    void ButtonCorrClick();
    bool HasImage() const { return LoadedImage.size() > 44; }

  private:
    IFileDialog& openDialog_;
    INotices& notices_;
    IProgress& progress_;
    bool converting_ = false;
};

}  // namespace ringlark
