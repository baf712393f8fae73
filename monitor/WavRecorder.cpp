#include "monitor/WavRecorder.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/Bytes.h"

namespace ringlark {

namespace {

constexpr uint32_t kHeaderSize = 44;
// A WAV file's sizes are 32-bit: a recording stops growing its header there.
constexpr uint64_t kMaxDataBytes = std::numeric_limits<uint32_t>::max() - kHeaderSize;

}  // namespace

std::string TWavRecorder::Header(uint32_t rate, uint64_t samples) {
    const auto data = static_cast<uint32_t>(std::min<uint64_t>(samples * 2, kMaxDataBytes));
    Bytes header = "RIFF....WAVEfmt ....................data....";
    WriteLe32(header, 4, data + kHeaderSize - 8);
    WriteLe32(header, 16, 16);  // format chunk size
    WriteLe16(header, 20, 1);   // PCM
    WriteLe16(header, 22, 1);   // mono
    WriteLe32(header, 24, rate);
    WriteLe32(header, 28, rate * 2);
    WriteLe16(header, 32, 2);   // bytes per frame
    WriteLe16(header, 34, 16);  // bits per sample
    WriteLe32(header, 40, data);
    return header;
}

TWavRecorder::TWavRecorder(const std::string& path, uint32_t rate)
    : file_(std::make_unique<TFileInProgress>(path)), rate_(rate) {
    file_->Append(Header(rate_, 0));
}

void TWavRecorder::Append(std::span<const float> samples) {
    std::string bytes(samples.size() * 2, '\0');
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float v = std::isnan(samples[i]) ? 0.0f : std::clamp(samples[i], -1.0f, 1.0f);
        const auto word = static_cast<int16_t>(std::lround(std::min(v * 32768.0f, 32767.0f)));
        bytes[2 * i] = static_cast<char>(static_cast<uint16_t>(word) & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(static_cast<uint16_t>(word) >> 8);
    }
    file_->Append(bytes);
    samples_ += samples.size();
    if (samples_ - headerAt_ >= rate_) {
        WriteHeader();
    }
}

void TWavRecorder::WriteHeader() {
    file_->WriteAt(0, Header(rate_, samples_));
    headerAt_ = samples_;
}

bool TWavRecorder::Finish(bool replace) {
    WriteHeader();
    return file_->Commit(replace);
}

}  // namespace ringlark
