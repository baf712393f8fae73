#include "analyst/WaveformViewer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "analyst/AnyRecording.h"
#include "analyst/LongRecording.h"
#include "analyst/Waveform.h"
#include "core/Cp1252.h"
#include "core/FileWriting.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "core/WavImage.h"

namespace ringlark {

namespace {

std::string NamePart(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Set while a conversion runs, cleared however it ends: no second load or
// analysis touches the image meanwhile.
class TConversionFlag {
  public:
    explicit TConversionFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~TConversionFlag() { flag_ = false; }
    TConversionFlag(const TConversionFlag&) = delete;
    TConversionFlag& operator=(const TConversionFlag&) = delete;

  private:
    bool& flag_;
};

}  // namespace

TWaveformViewer::TWaveformViewer(IFileDialog& openDialog, INotices& notices, IProgress& progress,
                                 ISoundPlayer& sound)
    : openDialog_(openDialog), notices_(notices), progress_(progress), sound_(sound) {}

TLoadResult TWaveformViewer::LoadWAV(const std::string& fileName) {
    if (converting_) {
        return TLoadResult::Cancelled;  // never a second load on the same image
    }
    Caption = std::string(viewer::Caption);
    openDialog_.InitialDir = ".\\";
    openDialog_.Filter = std::string(viewer::OpenFilter);
    std::string path = fileName;
    if (path.empty()) {
        if (!openDialog_.Execute()) {
            return TLoadResult::Cancelled;
        }
        path = openDialog_.FileName;
    }
    Caption = std::string(viewer::Caption) + " - " + NamePart(path);

    // Only a regular file is opened: opening a FIFO would wait for a writer,
    // and a device would be read without end.
    const uint64_t fileSize = RegularFileSize(path);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw RinglarkError(msg::CannotOpenFile(path, std::strerror(errno)));
    }
    // The header and the size decide before any sample is read.
    Bytes file(std::min<std::size_t>(WavHeaderSize, static_cast<std::size_t>(fileSize)), '\0');
    in.read(file.data(), static_cast<std::streamsize>(file.size()));
    if (const auto refusal = LoadRefusal(file, fileSize)) {
        notices_.ShowNotice(std::string(*refusal));
        return TLoadResult::Refused;
    }
    if (ReadLe32(file, 24) != 44100) {
        // Converted while it is read: only the converted image is held.
        const TSampleSource read = [&in, &path](char* to, std::size_t size) {
            in.read(to, static_cast<std::streamsize>(size));
            if (in.bad()) {
                throw RinglarkError(msg::CannotOpenFile(path, std::strerror(errno)));
            }
            return static_cast<std::size_t>(in.gcount());
        };
        const TConversionFlag conversion(converting_);
        Bytes image = ConvertStream(file, fileSize - WavHeaderSize, read, progress_);
        TakeImage(std::move(image));
        return TLoadResult::Loaded;
    }
    file.resize(static_cast<std::size_t>(fileSize));
    in.read(file.data() + WavHeaderSize, static_cast<std::streamsize>(file.size() - WavHeaderSize));
    file.resize(WavHeaderSize + static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        throw RinglarkError(msg::CannotOpenFile(path, std::strerror(errno)));
    }
    return LoadFileBytes(std::move(file));
}

TLoadResult TWaveformViewer::LoadFileBytes(Bytes file) {
    if (const auto refusal = LoadRefusal(file, file.size())) {
        notices_.ShowNotice(std::string(*refusal));
        return TLoadResult::Refused;
    }
    const uint32_t factor = 44100 / ReadLe32(file, 24);

    Bytes image;
    if (factor == 1) {
        image = std::move(file);
    } else {
        const TConversionFlag conversion(converting_);
        image = factor == 4 ? ConvertBy4(file, progress_) : ConvertBy2(file, progress_);
    }
    TakeImage(std::move(image));
    return TLoadResult::Loaded;
}

TLoadResult TWaveformViewer::LoadAnyRecording(const std::string& fileName) {
    TAnyRecording recording = ringlark::LoadAnyRecording(fileName);
    const TLoadResult result = LoadFileBytes(std::move(recording.Image));
    if (result == TLoadResult::Loaded) {
        LevelGain = recording.Gain;
    }
    return result;
}

TLoadResult TWaveformViewer::LoadRecordingExcerpt(const std::string& fileName, double fromSeconds,
                                                  double toSeconds) {
    if (converting_) {
        return TLoadResult::Cancelled;
    }
    TAnyRecording recording = ringlark::LoadRecordingExcerpt(fileName, fromSeconds, toSeconds);
    ExcerptSeconds = {recording.FromSeconds, recording.ToSeconds};
    Caption = std::string(viewer::Caption) + " - " + NamePart(fileName) + " " +
              ClockText(recording.FromSeconds, true) + " to " +
              ClockText(recording.ToSeconds, true);
    const TLoadResult result = LoadFileBytes(std::move(recording.Image));
    if (result == TLoadResult::Loaded) {
        LevelGain = recording.Gain;
    }
    return result;
}

void TWaveformViewer::TakeImage(Bytes image) {
    LoadedImage = std::move(image);
    LevelGain = 1;
    std::memcpy(LoadedHeader.data(), LoadedImage.data(), WavHeaderSize);
    SampleByteCount = static_cast<int32_t>(LoadedImage.size() - WavHeaderSize);
    ScrollMin = static_cast<int64_t>(WavHeaderSize);
    ScrollMax = static_cast<int64_t>(LoadedImage.size());
    ScrollPosition = static_cast<int64_t>(WavHeaderSize);
    if (OnLoaded) {
        OnLoaded();
    }
}

void TWaveformViewer::PlayFromScroll() {
    if (!HasImage() || converting_) {
        return;
    }
    if (const auto failure = sound_.Play(ImageFrom(LoadedImage, ScrollPosition))) {
        notices_.ShowNotice(*failure);
    }
}

void TWaveformViewer::AnalyzeZeroCrossing() {
    if (converting_) {
        return;
    }
    Analyzer.Demodulator.AnalysisMethod = TAnalysisMethod::ZeroCrossing;
    Analyzer.QuietAnalysis = false;
    Analyzer.StringAnalyze(Analyzer.Demodulator.Analyze(LoadedImage));
}

void TWaveformViewer::AnalyzePeak() {
    if (converting_) {
        return;
    }
    Analyzer.Demodulator.AnalysisMethod = TAnalysisMethod::Peak;
    Analyzer.QuietAnalysis = false;
    Analyzer.StringAnalyze(Analyzer.Demodulator.Analyze(LoadedImage));
}

void TWaveformViewer::AutoAnalyzeToNotice() {
    if (converting_) {
        return;
    }
    const TAutoResult result = Analyzer.AutoAnalyze(LoadedImage);
    // The bytes as the results box and the frame listing show them.
    notices_.ShowNotice(ShownText(result.Text) + "\r\n" + ShownText(result.MethodTag));
}

void TWaveformViewer::AnalyzeCorrelation() {
    if (converting_) {
        return;
    }
    Analyzer.Demodulator.AnalysisMethod = TAnalysisMethod::Correlation;
    Analyzer.QuietAnalysis = false;
    Analyzer.CorrelationAnalyze(LoadedImage);
}

}  // namespace ringlark
