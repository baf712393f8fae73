#include "analysis/WavLoader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "analysis/Waveform.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "generation/WavImage.h"

namespace ringlark {

namespace {

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

Bytes Convert(const Bytes& file, IProgress& progress, uint32_t factor, std::string_view label,
              uint32_t progressStep) {
    const uint32_t n = InputSamples(file);
    progress.Begin(std::string(label), 1, n, 1);
    // Every Begin has its End, also when the conversion fails (no memory for
    // the image): the progress display re-enables the windows it disabled.
    struct TEndProgress {
        IProgress& progress;
        ~TEndProgress() { progress.End(); }
    } endProgress{progress};
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
    return out;
}

}  // namespace

namespace {

uint32_t InputSamplesOf(uint32_t claimed, uint64_t available) {
    if (claimed > available + loader::MaxRepeatedShortfall) {
        return static_cast<uint32_t>(std::min<uint64_t>(available, UINT32_MAX));
    }
    return claimed;
}

}  // namespace

uint32_t InputSamples(const Bytes& file) {
    return InputSamplesOf(ReadLe32(file, 40), file.size() - WavHeaderSize);
}

std::optional<std::string_view> LoadRefusal(std::string_view head, uint64_t fileSize) {
    if (fileSize > static_cast<uint64_t>(loader::MaxImageSize)) {
        return loader::TooLarge;
    }
    if (head.size() < WavHeaderSize || fileSize < WavHeaderSize || ReadLe16(head, 32) != 1) {
        return loader::UnsupportedFormat;
    }
    const uint32_t rate = ReadLe32(head, 24);
    if (rate != 11025 && rate != 22050 && rate != 44100) {
        return loader::UnsupportedRate;
    }
    const uint32_t factor = 44100 / rate;
    const uint64_t samples = InputSamplesOf(ReadLe32(head, 40), fileSize - WavHeaderSize);
    if (factor > 1 &&
        samples * factor + WavHeaderSize > static_cast<uint64_t>(loader::MaxImageSize)) {
        return loader::TooLargeConverted;
    }
    return std::nullopt;
}

Bytes ConvertBy4(const Bytes& file, IProgress& progress) {
    return Convert(file, progress, 4, loader::ConvertingFrom11k, 2000);
}

Bytes ConvertBy2(const Bytes& file, IProgress& progress) {
    return Convert(file, progress, 2, loader::ConvertingFrom22k, 1000);
}

}  // namespace ringlark
