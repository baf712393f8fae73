#include "analyst/AnyRecording.h"

#include <gtest/gtest.h>
#include <sndfile.h>

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
