#include "analyst/WavLoader.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

#include "analyst/Waveform.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "core/WavImage.h"

namespace ringlark {

namespace {

uint32_t InputSamplesOf(uint32_t claimed, uint64_t available) {
    if (claimed > available + loader::MaxRepeatedShortfall) {
        return static_cast<uint32_t>(std::min<uint64_t>(available, UINT32_MAX));
    }
    return claimed;
}

}  // namespace

namespace {

// Reads samples one at a time from blocks that `read` supplies; past the end
// it repeats the last sample read.
class TSampleCursor {
  public:
    explicit TSampleCursor(const TSampleSource& read) : read_(read) {}
    uint8_t Next() {
        if (position_ == filled_ && !ended_) {
            filled_ = read_(block_.data(), block_.size());
            position_ = 0;
            ended_ = filled_ == 0;
        }
        if (position_ < filled_) {
            last_ = static_cast<uint8_t>(block_[position_++]);
        }
        return last_;
    }

  private:
    const TSampleSource& read_;
    std::array<char, 1 << 16> block_{};
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
    bool ended_ = false;
    uint8_t last_ = 128;  // a file with no sample at all repeats silence
};

Bytes Convert(std::string_view header, uint64_t available, const TSampleSource& read,
              IProgress& progress, uint32_t factor, std::string_view label, uint32_t progressStep) {
    const uint32_t n = InputSamplesOf(ReadLe32(header, 40), available);
    progress.Begin(std::string(label), 1, n, 1);
    // Every Begin has its End, also when the conversion fails (no memory for
    // the image): the progress display re-enables the windows it disabled.
    struct TEndProgress {
        IProgress& progress;
        ~TEndProgress() { progress.End(); }
    } endProgress{progress};
    Bytes out;
    out.reserve(static_cast<std::size_t>(n) * factor + WavHeaderSize);
    out.append(header.substr(0, WavHeaderSize));
    WriteLe32(out, 24, 44100);
    WriteLe32(out, 28, ReadLe32(header, 28) * factor);
    WriteLe32(out, 40, n * factor);
    TSampleCursor cursor(read);
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

// The samples of a file already in memory, as blocks.
TSampleSource SamplesOf(const Bytes& file) {
    return [&file, position = std::size_t{WavHeaderSize}](char* to, std::size_t size) mutable {
        const std::size_t n = position < file.size() ? std::min(size, file.size() - position) : 0;
        std::memcpy(to, file.data() + position, n);
        position += n;
        return n;
    };
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

Bytes ConvertStream(std::string_view header, uint64_t availableSamples, const TSampleSource& read,
                    IProgress& progress) {
    return ReadLe32(header, 24) == 11025 ? Convert(header, availableSamples, read, progress, 4,
                                                   loader::ConvertingFrom11k, 2000)
                                         : Convert(header, availableSamples, read, progress, 2,
                                                   loader::ConvertingFrom22k, 1000);
}

Bytes ConvertBy4(const Bytes& file, IProgress& progress) {
    return Convert(file, file.size() - WavHeaderSize, SamplesOf(file), progress, 4,
                   loader::ConvertingFrom11k, 2000);
}

Bytes ConvertBy2(const Bytes& file, IProgress& progress) {
    return Convert(file, file.size() - WavHeaderSize, SamplesOf(file), progress, 2,
                   loader::ConvertingFrom22k, 1000);
}

}  // namespace ringlark
