#include "analyst/AnyRecording.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "core/WavImage.h"

namespace ringlark {

namespace {

constexpr double kRate = 44100.0;
constexpr double kMaxGain = 64.0;

}  // namespace

TAnyRecording LoadAnyRecording(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw RinglarkError(msg::CannotOpenFile(path));
    }
    TAnyRecording recording;
    recording.SourceRate = info.samplerate;
    recording.SourceChannels = info.channels;
    const auto channels = static_cast<std::size_t>(std::max(1, info.channels));
    std::vector<float> mono;
    std::vector<float> block(4096 * channels);
    for (sf_count_t frames; (frames = sf_readf_float(file, block.data(), 4096)) > 0;) {
        for (sf_count_t f = 0; f < frames; ++f) {
            float sum = 0;
            for (std::size_t c = 0; c < channels; ++c) {
                sum += block[static_cast<std::size_t>(f) * channels + c];
            }
            mono.push_back(sum / static_cast<float>(channels));
        }
    }
    sf_close(file);
    std::vector<float> resampled;
    if (info.samplerate > 0 && info.samplerate != static_cast<int>(kRate) && !mono.empty()) {
        resampled.resize(static_cast<std::size_t>(std::ceil(static_cast<double>(mono.size()) *
                                                            kRate / info.samplerate)) +
                         16);
        std::size_t done = 0;
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
        const soxr_error_t error =
            soxr_oneshot(info.samplerate, kRate, 1, mono.data(), mono.size(), nullptr,
                         resampled.data(), resampled.size(), &done, nullptr, &quality, nullptr);
        if (error != nullptr) {
            throw RinglarkError("Cannot convert " + path + ": " + error);
        }
        resampled.resize(done);
    } else {
        resampled = std::move(mono);
    }
    float peak = 0;
    for (float v : resampled) {
        peak = std::max(peak, std::isfinite(v) ? std::fabs(v) : 0.0f);
    }
    recording.Gain = peak > 0 ? std::min(kMaxGain, 127.0 / 128.0 / peak) : 1.0;
    recording.Image.assign(WavHeaderSize, '\0');
    recording.Image.reserve(WavHeaderSize + resampled.size());
    for (float v : resampled) {
        const double scaled = std::isfinite(v) ? v * recording.Gain * 128.0 : 0.0;
        recording.Image += static_cast<char>(
            static_cast<uint8_t>(std::clamp(128 + std::lround(scaled), 0L, 255L)));
    }
    WriteWavHeader(recording.Image);
    return recording;
}

}  // namespace ringlark
