#include "analyst/AnyRecording.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "core/WavImage.h"

namespace ringlark {

namespace {

constexpr double kRate = 44100.0;
constexpr double kMaxGain = 64.0;
constexpr std::size_t kBlockFrames = 16384;

// A file libsndfile reads, read in blocks mixed to one channel.
class TSoundFile {
  public:
    explicit TSoundFile(const std::string& path) : path_(path) { Open(); }
    ~TSoundFile() { sf_close(file_); }
    TSoundFile(const TSoundFile&) = delete;
    TSoundFile& operator=(const TSoundFile&) = delete;

    const SF_INFO& Info() const { return info_; }

    // Up to `frames` frames, each the mean of its channels; fewer at the end.
    std::span<const float> ReadMono(std::size_t frames) {
        const auto channels = static_cast<std::size_t>(std::max(1, info_.channels));
        interleaved_.resize(frames * channels);
        mono_.resize(frames);
        const auto got = static_cast<std::size_t>(std::max<sf_count_t>(
            0, sf_readf_float(file_, interleaved_.data(), static_cast<sf_count_t>(frames))));
        for (std::size_t f = 0; f < got; ++f) {
            float sum = 0;
            for (std::size_t c = 0; c < channels; ++c) {
                sum += interleaved_[f * channels + c];
            }
            mono_[f] = sum / static_cast<float>(channels);
        }
        return {mono_.data(), got};
    }

    // Goes to a frame; a file libsndfile cannot seek in is opened again and
    // read up to it.
    void Seek(int64_t frame) {
        if (sf_seek(file_, frame, SEEK_SET) == frame) {
            return;
        }
        sf_close(file_);
        file_ = nullptr;
        Open();
        for (int64_t left = frame; left > 0;) {
            const auto got = ReadMono(static_cast<std::size_t>(
                std::min<int64_t>(left, static_cast<int64_t>(kBlockFrames))));
            if (got.empty()) {
                break;
            }
            left -= static_cast<int64_t>(got.size());
        }
    }

  private:
    void Open() {
        info_ = SF_INFO{};
        file_ = sf_open(path_.c_str(), SFM_READ, &info_);
        if (file_ == nullptr) {
            throw RinglarkError(msg::CannotOpenFile(path_));
        }
    }

    std::string path_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
    std::vector<float> interleaved_, mono_;
};

// libsoxr at very high quality fed block by block: its output is, sample for
// sample, what soxr_oneshot makes of the whole input at once.
class TResampler {
  public:
    TResampler(double rate, const std::string& path) : path_(path) {
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
        soxr_error_t error = nullptr;
        soxr_ = soxr_create(rate, kRate, 1, &error, nullptr, &quality, nullptr);
        Check(error);
        out_.resize(
            static_cast<std::size_t>(std::ceil(static_cast<double>(kBlockFrames) * kRate / rate)) +
            4096);
    }
    ~TResampler() { soxr_delete(soxr_); }
    TResampler(const TResampler&) = delete;
    TResampler& operator=(const TResampler&) = delete;

    template <class TTake>
    void Process(std::span<const float> in, TTake& take) {
        for (std::size_t fed = 0; fed < in.size();) {
            std::size_t used = 0, made = 0;
            Check(soxr_process(soxr_, in.data() + fed, in.size() - fed, &used, out_.data(),
                               out_.size(), &made));
            take(std::span<const float>(out_.data(), made));
            fed += used;
            if (used == 0 && made == 0) {
                throw RinglarkError("Cannot convert " + path_ + ": the resampler stopped");
            }
        }
    }

    // The input has ended: what the filter still holds.
    template <class TTake>
    void Flush(TTake& take) {
        for (std::size_t made = 1; made > 0;) {
            Check(soxr_process(soxr_, nullptr, 0, nullptr, out_.data(), out_.size(), &made));
            take(std::span<const float>(out_.data(), made));
        }
    }

  private:
    void Check(soxr_error_t error) const {
        if (error != nullptr) {
            throw RinglarkError("Cannot convert " + path_ + ": " + error);
        }
    }

    std::string path_;
    soxr_t soxr_ = nullptr;
    std::vector<float> out_;
};

// Frames [first, first + count) mixed to one channel at 44100/s, handed to
// `take` block by block (the rest of the file when count runs past its end).
// Returns the frames read.
template <class TTake>
int64_t ConvertedBlocks(TSoundFile& file, const std::string& path, int64_t first, int64_t count,
                        TTake take) {
    file.Seek(first);
    const int rate = file.Info().samplerate;
    std::optional<TResampler> resampler;
    int64_t read = 0;
    while (read < count) {
        const auto mono = file.ReadMono(static_cast<std::size_t>(
            std::min<int64_t>(count - read, static_cast<int64_t>(kBlockFrames))));
        if (mono.empty()) {
            break;
        }
        read += static_cast<int64_t>(mono.size());
        if (rate <= 0 || rate == static_cast<int>(kRate)) {
            take(mono);
            continue;
        }
        if (!resampler) {
            resampler.emplace(rate, path);
        }
        resampler->Process(mono, take);
    }
    if (resampler) {
        resampler->Flush(take);
    }
    return read;
}

// The image of frames [first, first + count): a first pass finds the loudest
// sample of the converted signal, which sets the gain; a second makes the
// image. Only the image is held whole.
TAnyRecording Convert(TSoundFile& file, const std::string& path, int64_t first, int64_t count) {
    TAnyRecording recording;
    recording.SourceRate = file.Info().samplerate;
    recording.SourceChannels = file.Info().channels;
    float peak = 0;
    std::size_t samples = 0;
    const int64_t read =
        ConvertedBlocks(file, path, first, count, [&peak, &samples](std::span<const float> block) {
            for (float v : block) {
                peak = std::max(peak, std::isfinite(v) ? std::fabs(v) : 0.0f);
            }
            samples += block.size();
        });
    if (recording.SourceRate > 0) {
        recording.FromSeconds = static_cast<double>(first) / recording.SourceRate;
        recording.ToSeconds = static_cast<double>(first + read) / recording.SourceRate;
    }
    recording.Gain = peak > 0 ? std::min(kMaxGain, 127.0 / 128.0 / peak) : 1.0;
    Bytes& image = recording.Image;
    image.assign(WavHeaderSize, '\0');
    image.reserve(WavHeaderSize + samples);
    const double gain = recording.Gain;
    ConvertedBlocks(file, path, first, read, [&image, gain](std::span<const float> block) {
        for (float v : block) {
            const double scaled = std::isfinite(v) ? v * gain * 128.0 : 0.0;
            image += static_cast<char>(
                static_cast<uint8_t>(std::clamp(128 + std::lround(scaled), 0L, 255L)));
        }
    });
    WriteWavHeader(image);
    return recording;
}

}  // namespace

TRecordingInfo ReadRecordingInfo(const std::string& path) {
    const TSoundFile file(path);
    return {static_cast<double>(file.Info().samplerate), file.Info().channels,
            static_cast<int64_t>(file.Info().frames)};
}

TAnyRecording LoadAnyRecording(const std::string& path) {
    TSoundFile file(path);
    return Convert(file, path, 0, INT64_MAX);
}

TAnyRecording LoadRecordingExcerpt(const std::string& path, double fromSeconds, double toSeconds) {
    TSoundFile file(path);
    const double rate = file.Info().samplerate;
    const auto frames = static_cast<double>(file.Info().frames);
    const double first = rate > 0 ? std::clamp(std::floor(fromSeconds * rate), 0.0, frames) : 0.0;
    const double last = rate > 0 ? std::clamp(std::ceil(toSeconds * rate), first, frames) : 0.0;
    return Convert(file, path, static_cast<int64_t>(first), static_cast<int64_t>(last - first));
}

bool ScanRecording(const std::string& path, const TScanCallbacks& callbacks,
                   std::size_t blockFrames) {
    TSoundFile file(path);
    TStreamDecoder decoder(file.Info().samplerate, true);
    const auto total = static_cast<int64_t>(file.Info().frames);
    int64_t done = 0;
    const auto piece = static_cast<std::size_t>(std::max(1.0, decoder.Rate() / 10));
    std::vector<TStreamEvent> events;
    const auto report = [&] {
        for (const TStreamEvent& event : events) {
            if (callbacks.Found) {
                callbacks.Found(event, static_cast<double>(decoder.SamplesFed()) / decoder.Rate());
            }
        }
        events.clear();
    };
    for (;;) {
        if (callbacks.Cancelled && callbacks.Cancelled()) {
            return false;
        }
        const auto mono = file.ReadMono(std::max<std::size_t>(1, blockFrames));
        if (mono.empty()) {
            break;
        }
        // fed a tenth of a second at a time, so that where the scan had read
        // when an event was found is known that closely
        for (std::size_t at = 0; at < mono.size(); at += piece) {
            decoder.Feed(mono.subspan(at, std::min(piece, mono.size() - at)), events);
            report();
        }
        done += static_cast<int64_t>(mono.size());
        if (callbacks.Progress) {
            callbacks.Progress(done, total);
        }
    }
    decoder.Finish(events);
    report();
    return true;
}

}  // namespace ringlark
