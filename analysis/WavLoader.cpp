#include "WavLoader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "RinglarkError.h"
#include "UserMessages.h"
#include "WavImage.h"
#include "Waveform.h"

namespace ringlark {

namespace {

std::string NamePart(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads the samples of a file one at a time through its own cursor; past the
// end it repeats the last sample read.
class TSampleCursor {
  public:
    explicit TSampleCursor(const Bytes& file) : file_(file) {}
    uint8_t Next() {
        if (position_ < file_.size()) {
            last_ = ByteAt(file_, position_++);
        }
        return last_;
    }

  private:
    const Bytes& file_;
    std::size_t position_ = WavHeaderSize;
    uint8_t last_ = 128;  // a file with no sample at all repeats silence
};

// The number of input samples a conversion reads: the header's data size, but
// a shortfall of more than a second is not made up.
uint32_t InputSamples(const Bytes& file) {
    const uint32_t claimed = ReadLe32(file, 40);
    const uint64_t available = file.size() - WavHeaderSize;
    if (claimed > available + loader::MaxRepeatedShortfall) {
        return static_cast<uint32_t>(available);
    }
    return claimed;
}

Bytes Convert(const Bytes& file, IProgress& progress, uint32_t factor, std::string_view label,
              uint32_t progressStep) {
    const uint32_t n = InputSamples(file);
    progress.Begin(std::string(label), 1, n, 1);
    Bytes out;
    out.reserve(static_cast<std::size_t>(n) * factor + WavHeaderSize);
    out.append(file, 0, WavHeaderSize);
    WriteLe32(out, 24, 44100);
    WriteLe32(out, 28, ReadLe32(file, 28) * factor);
    WriteLe32(out, 40, n * factor);
    TSampleCursor cursor(file);
    int previous = 127;  // the first midpoint is taken with 127
    for (uint32_t i = 1; i <= n; ++i) {
        if (i % progressStep == 0) {
            progress.Position(i);
        }
        const uint8_t s = cursor.Next();
        if (factor == 4) {
            out.append(4, static_cast<char>(s));
        } else {
            out += static_cast<char>((s + previous) / 2);
            out += static_cast<char>(s);
            previous = s;
        }
    }
    progress.End();
    return out;
}

}  // namespace

Bytes ConvertBy4(const Bytes& file, IProgress& progress) {
    return Convert(file, progress, 4, loader::ConvertingFrom11k, 2000);
}

Bytes ConvertBy2(const Bytes& file, IProgress& progress) {
    return Convert(file, progress, 2, loader::ConvertingFrom22k, 1000);
}

TSigscope::TSigscope(IFileDialog& openDialog, INotices& notices, IProgress& progress)
    : openDialog_(openDialog), notices_(notices), progress_(progress) {}

TLoadResult TSigscope::LoadWAV(const std::string& fileName) {
    if (converting_) {
        return TLoadResult::Cancelled;  // never a second load on the same image
    }
    Caption = std::string(loader::Caption);
    openDialog_.InitialDir = ".\\";
    openDialog_.Filter = std::string(loader::OpenFilter);
    std::string path = fileName;
    if (path.empty()) {
        if (!openDialog_.Execute()) {
            return TLoadResult::Cancelled;
        }
        path = openDialog_.FileName;
    }
    Caption = std::string(loader::Caption) + " - " + NamePart(path);

    std::ifstream in(path, std::ios::binary);
    struct stat info {};
    if (!in || stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        throw RinglarkError(msg::CannotOpenFile(path));
    }
    if (info.st_size > loader::MaxImageSize) {
        notices_.ShowNotice(std::string(loader::TooLarge));
        return TLoadResult::Refused;
    }
    Bytes file(static_cast<std::size_t>(info.st_size), '\0');
    in.read(file.data(), static_cast<std::streamsize>(file.size()));
    file.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        throw RinglarkError(msg::CannotOpenFile(path));
    }

    return LoadFileBytes(std::move(file));
}

TLoadResult TSigscope::LoadFileBytes(Bytes file) {
    if (file.size() > static_cast<std::size_t>(loader::MaxImageSize)) {
        notices_.ShowNotice(std::string(loader::TooLarge));
        return TLoadResult::Refused;
    }
    if (file.size() < WavHeaderSize || ReadLe16(file, 32) != 1) {
        notices_.ShowNotice(std::string(loader::UnsupportedFormat));
        return TLoadResult::Refused;
    }
    const uint32_t rate = ReadLe32(file, 24);
    uint32_t factor = 1;
    if (rate == 11025) {
        factor = 4;
    } else if (rate == 22050) {
        factor = 2;
    } else if (rate != 44100) {
        notices_.ShowNotice(std::string(loader::UnsupportedRate));
        return TLoadResult::Refused;
    }
    if (factor > 1 &&
        static_cast<int64_t>(InputSamples(file)) * factor + 44 > loader::MaxImageSize) {
        notices_.ShowNotice(std::string(loader::TooLarge));
        return TLoadResult::Refused;
    }

    Bytes image;
    if (factor == 1) {
        image = std::move(file);
    } else {
        converting_ = true;
        struct TEndConversion {
            bool& flag;
            ~TEndConversion() { flag = false; }
        } endConversion{converting_};
        image = factor == 4 ? ConvertBy4(file, progress_) : ConvertBy2(file, progress_);
    }
    LoadedImage = std::move(image);
    std::memcpy(LoadedHeader.data(), LoadedImage.data(), WavHeaderSize);
    SampleByteCount = static_cast<int32_t>(LoadedImage.size() - WavHeaderSize);
    ScrollMin = static_cast<int64_t>(WavHeaderSize);
    ScrollMax = static_cast<int64_t>(LoadedImage.size());
    ScrollPosition = static_cast<int64_t>(WavHeaderSize);
    if (OnLoaded) {
        OnLoaded();
    }
    return TLoadResult::Loaded;
}

void TSigscope::Button2Click() {
    if (!HasImage() || Sound == nullptr || converting_) {
        return;
    }
    if (const auto failure = Sound->Play(ImageFrom(LoadedImage, ScrollPosition))) {
        notices_.ShowNotice(*failure);
    }
}

void TSigscope::Button3Click() {
    if (converting_) {
        return;
    }
    Analyzer.Demodulator.AnalysisMethod = AnalysisZeroCrossing;
    Analyzer.QuietAnalysis = false;
    Analyzer.StringAnalyze(Analyzer.Demodulator.Analyze(LoadedImage));
}

void TSigscope::Button4Click() {
    if (converting_) {
        return;
    }
    Analyzer.Demodulator.AnalysisMethod = AnalysisPeak;
    Analyzer.QuietAnalysis = false;
    Analyzer.StringAnalyze(Analyzer.Demodulator.Analyze(LoadedImage));
}

void TSigscope::Button5Click() {
    if (converting_) {
        return;
    }
    const TAutoResult result = Analyzer.AutoAnalyze(LoadedImage);
    notices_.ShowNotice(result.Text + "\r\n" + result.MethodTag);
}

void TSigscope::ButtonCorrClick() {
    if (converting_) {
        return;
    }
    Analyzer.Demodulator.AnalysisMethod = AnalysisCorrelation;
    Analyzer.QuietAnalysis = false;
    Analyzer.CorrelationAnalyze(LoadedImage);
}

}  // namespace ringlark
