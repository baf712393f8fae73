#include "analyst/AnyRecording.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>

#include "core/RinglarkError.h"
#include "core/WavImage.h"
#include "decoding/fsk/CorrelationDecoder.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

// Writes samples with libsndfile in a format, the same signal on each channel.
void WriteSound(const std::string& path, const std::vector<float>& samples, int rate, int format,
                int channels) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> frames;
    for (float v : samples) {
        frames.insert(frames.end(), static_cast<std::size_t>(channels), v);
    }
    sf_writef_float(file, frames.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

// The conversion as it was made before it read in blocks: the whole file
// mixed to one channel, resampled with soxr_oneshot, then scaled.
Bytes WholeFileConversion(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return {};
    }
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
    if (info.samplerate != 44100 && !mono.empty()) {
        resampled.resize(static_cast<std::size_t>(std::ceil(static_cast<double>(mono.size()) *
                                                            44100.0 / info.samplerate)) +
                         16);
        std::size_t done = 0;
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
        soxr_oneshot(info.samplerate, 44100.0, 1, mono.data(), mono.size(), nullptr,
                     resampled.data(), resampled.size(), &done, nullptr, &quality, nullptr);
        resampled.resize(done);
    } else {
        resampled = std::move(mono);
    }
    float peak = 0;
    for (float v : resampled) {
        peak = std::max(peak, std::isfinite(v) ? std::fabs(v) : 0.0f);
    }
    const double gain = peak > 0 ? std::min(64.0, 127.0 / 128.0 / peak) : 1.0;
    Bytes image(WavHeaderSize, '\0');
    for (float v : resampled) {
        const double scaled = std::isfinite(v) ? v * gain * 128.0 : 0.0;
        image += static_cast<char>(
            static_cast<uint8_t>(std::clamp(128 + std::lround(scaled), 0L, 255L)));
    }
    WriteWavHeader(image);
    return image;
}

// A message in noise, a few seconds long: several of the conversion's blocks.
std::vector<float> MessageInNoise(int rate, double seconds, uint64_t seed) {
    TFskSignal signal;
    signal.Rate = rate;
    signal.Amplitude = 0.3;
    const std::vector<float> fsk = SynthesiseFsk(RandomMdmfMessage(seed), signal);
    std::vector<float> samples(static_cast<std::size_t>(seconds * rate));
    TGaussianNoise noise(seed);
    for (auto& v : samples) {
        v = static_cast<float>(0.02 * noise.Next());
    }
    const auto at = static_cast<std::size_t>(rate);  // one second in
    for (std::size_t i = 0; i < fsk.size() && at + i < samples.size(); ++i) {
        samples[at + i] += fsk[i];
    }
    return samples;
}

TEST(AnyRecording, ReadInBlocksTheImageIsByteForByteTheWholeFileConversion) {
    test::TTempDir dir;
    const std::vector<std::tuple<int, int, int, const char*>> kinds = {
        {8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, "8k.wav"},
        {11025, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, "11k-stereo.wav"},
        {16000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, "16k.flac"},
        {44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, "44k.wav"},  // not resampled
        {48000, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, "48k-stereo.wav"},
        {96000, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, "96k-float.wav"},
        {8000, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, "8k-adpcm.wav"},
    };
    uint64_t seed = 1;
    for (const auto& [rate, format, channels, name] : kinds) {
        const auto path = (dir / name).string();
        WriteSound(path, MessageInNoise(rate, 4.5, seed++), rate, format, channels);
        const Bytes expected = WholeFileConversion(path);
        ASSERT_GT(expected.size(), WavHeaderSize + 4 * 44100) << name;
        const TAnyRecording recording = LoadAnyRecording(path);
        EXPECT_TRUE(recording.Image == expected) << name;
        EXPECT_EQ(recording.FromSeconds, 0.0) << name;
        // ADPCM fills its last block of 505 samples
        const bool adpcm = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_IMA_ADPCM;
        EXPECT_NEAR(recording.ToSeconds, adpcm ? 4.53 : 4.5, adpcm ? 0.035 : 1.0 / rate) << name;
    }
    // an empty file makes an empty image
    const auto empty = (dir / "empty.wav").string();
    WriteSound(empty, {}, 8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1);
    EXPECT_EQ(LoadAnyRecording(empty).Image.size(), WavHeaderSize);
    EXPECT_TRUE(LoadAnyRecording(empty).Image == WholeFileConversion(empty));
}

TEST(AnyRecording, AnExcerptIsConvertedAsThatStretchAloneWouldBe) {
    test::TTempDir dir;
    for (const auto& [rate, format, name] : std::vector<std::tuple<int, int, std::string>>{
             {8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "wav"},
             {16000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "flac"}}) {
        const std::vector<float> samples = MessageInNoise(rate, 6, 7);
        const auto whole = (dir / ("whole." + name)).string();
        WriteSound(whole, samples, rate, format, 2);
        // 0.75 s to 4.25 s: the same frames written alone
        const auto first = static_cast<std::ptrdiff_t>(0.75 * rate);
        const auto last = static_cast<std::ptrdiff_t>(4.25 * rate);
        const auto part = (dir / ("part." + name)).string();
        WriteSound(part, std::vector<float>(samples.begin() + first, samples.begin() + last), rate,
                   format, 2);
        const TAnyRecording excerpt = LoadRecordingExcerpt(whole, 0.75, 4.25);
        EXPECT_TRUE(excerpt.Image == WholeFileConversion(part)) << name;
        EXPECT_DOUBLE_EQ(excerpt.FromSeconds, 0.75) << name;
        EXPECT_DOUBLE_EQ(excerpt.ToSeconds, 4.25) << name;
        EXPECT_EQ(excerpt.SourceRate, rate) << name;
        // cut to the recording at either end
        const TAnyRecording ends = LoadRecordingExcerpt(whole, -2, 60);
        EXPECT_TRUE(ends.Image == LoadAnyRecording(whole).Image) << name;
        EXPECT_EQ(ends.FromSeconds, 0.0) << name;
        EXPECT_DOUBLE_EQ(ends.ToSeconds, 6.0) << name;
    }
    EXPECT_EQ(test::ErrorOf([&] { LoadRecordingExcerpt((dir / "none.wav").string(), 0, 1); }),
              "Cannot open file " + (dir / "none.wav").string());
}

TEST(AnyRecording, EveryFormatAndRateBecomesADecodableImage) {
    test::TTempDir dir;
    const Bytes message = RandomMdmfMessage(12);
    const std::vector<std::tuple<int, int, int, const char*>> kinds = {
        {8000, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, "pcm16.wav"},
        {48000, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, "pcm24-stereo.wav"},
        {22050, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, "float.wav"},
        {8000, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, "adpcm.wav"},
        {16000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, "flac.flac"},
    };
    for (const auto& [rate, format, channels, name] : kinds) {
        TFskSignal signal;
        signal.Rate = rate;
        signal.Amplitude = 0.05;  // quiet: the image is scaled up
        const auto path = (dir / name).string();
        WriteSound(path, SynthesiseFsk(message, signal), rate, format, channels);
        const TAnyRecording recording = LoadAnyRecording(path);
        EXPECT_EQ(recording.SourceRate, rate) << name;
        EXPECT_EQ(recording.SourceChannels, channels) << name;
        EXPECT_EQ(ReadWavFields(recording.Image).SampleRate, 44100u) << name;
        // the loudest sample just fits 8 bits
        uint8_t low = 255, high = 0;
        for (std::size_t i = WavHeaderSize; i < recording.Image.size(); ++i) {
            low = std::min(low, static_cast<uint8_t>(recording.Image[i]));
            high = std::max(high, static_cast<uint8_t>(recording.Image[i]));
        }
        EXPECT_GE(high, 250) << name;
        EXPECT_LE(low, 6) << name;
        const auto found = TCorrelationDecoder().DecodeImage(recording.Image);
        ASSERT_EQ(found.size(), 1u) << name;
        EXPECT_EQ(found[0].Message, message) << name;
        // its length in time is kept (ADPCM fills its last block)
        const bool adpcm = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_IMA_ADPCM;
        EXPECT_NEAR(static_cast<double>(recording.Image.size() - WavHeaderSize) / 44100.0,
                    static_cast<double>(SynthesiseFsk(message, signal).size()) / rate,
                    adpcm ? 0.06 : 0.002)
            << name;
    }
}

TEST(AnyRecording, WhatLibsndfileCannotReadIsRefused) {
    test::TTempDir dir;
    const auto path = (dir / "text.wav").string();
    test::WriteFile(path, "not a sound");
    EXPECT_EQ(test::ErrorOf([&] { LoadAnyRecording(path); }), "Cannot open file " + path);
    EXPECT_EQ(test::ErrorOf([&] { LoadAnyRecording((dir / "none.wav").string()); }),
              "Cannot open file " + (dir / "none.wav").string());
}

}  // namespace
}  // namespace ringlark
