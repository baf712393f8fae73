// AutoAnalyze of a 60-second 44100/s image holding one MDMF burst in low-level
// noise, and loading plus converting a 60-second 11025/s file. Target: the whole
// auto analysis of 60 s of audio in under 60 ms.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "analyst/WaveformViewer.h"
#include "core/NullServices.h"
#include "core/WavImage.h"
#include "decoding/BlockAnalysis.h"
#include "decoding/ByteExtraction.h"
#include "decoding/StreamDecoder.h"
#include "decoding/fsk/CorrelationDecoder.h"
#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "tests/support/TestSignals.h"

namespace {

using namespace ringlark;

constexpr std::size_t kSeconds = 60;

// Deterministic noise of a few steps around the zero line.
class TNoise {
  public:
    int Next() {
        state_ = state_ * 1103515245u + 12345u;
        return static_cast<int>((state_ >> 16) % 5) - 2;
    }

  private:
    uint32_t state_ = 1;
};

Bytes NoisyImage() {
    TFskSynth synth;
    const Bytes burst = SynthesiseImage(synth, ExampleMdmfMessage(), TSignalling::OnHook);
    Bytes image(WavHeaderSize, '\0');
    image.reserve(WavHeaderSize + kSeconds * SampleRate);
    TNoise noise;
    const std::size_t burstStart = 10 * SampleRate;
    for (std::size_t i = 0; i < kSeconds * SampleRate; ++i) {
        int v = 128;
        if (i >= burstStart && i - burstStart < burst.size() - WavHeaderSize) {
            v = ByteAt(burst, WavHeaderSize + i - burstStart);
        }
        image += static_cast<char>(std::clamp(v + noise.Next(), 0, 255));
    }
    WriteWavHeader(image);
    return image;
}

void BM_AutoAnalyze60s(benchmark::State& state) {
    const Bytes image = NoisyImage();
    TByteAnalyzer analyzer;
    bool decoded = false;
    for (auto _ : state) {
        const TAutoResult result = analyzer.AutoAnalyze(image);
        decoded = !result.Failed();
        benchmark::DoNotOptimize(result.Text.data());
    }
    state.counters["decoded"] = decoded ? 1 : 0;
    state.counters["samples_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSeconds * SampleRate,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AutoAnalyze60s)->Unit(benchmark::kMillisecond);

// The same analysis of the image read in 64 KB blocks, as the command line
// reads a file.
void BM_AutoAnalyzeBlocks60s(benchmark::State& state) {
    const Bytes image = NoisyImage();
    bool decoded = false;
    for (auto _ : state) {
        TByteAnalyzer analyzer;
        TImageBytes blocks(image);
        const TAutoResult result = AutoAnalyzeBlocks(analyzer, blocks);
        decoded = !result.Failed();
        benchmark::DoNotOptimize(result.Text.data());
    }
    state.counters["decoded"] = decoded ? 1 : 0;
}
BENCHMARK(BM_AutoAnalyzeBlocks60s)->Unit(benchmark::kMillisecond);

void BM_Load11025File60s(benchmark::State& state) {
    Bytes samples;
    TNoise noise;
    for (std::size_t i = 0; i < kSeconds * 11025; ++i) {
        samples += static_cast<char>(128 + noise.Next());
    }
    Bytes file(WavHeaderSize, '\0');
    file += samples;
    WriteWavHeader(file);
    file.replace(24, 4, std::string("\x11\x2B\x00\x00", 4));  // 11025
    const auto path = (std::filesystem::temp_directory_path() / "ringlark-bench-11k.wav").string();
    SaveImageToFile(path, file);
    TCancelledFileDialog dialog;
    TSilentNotices notices;
    TNoProgress progress;
    TSilentSound sound;
    TWaveformViewer viewer(dialog, notices, progress, sound);
    for (auto _ : state) {
        viewer.LoadWAV(path);
        benchmark::DoNotOptimize(viewer.LoadedImage.data());
    }
    std::remove(path.c_str());
    state.counters["input_samples_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSeconds * 11025, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Load11025File60s)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

void BM_CorrelationDecoder60s(benchmark::State& state) {
    const Bytes image = NoisyImage();
    std::size_t found = 0;
    for (auto _ : state) {
        const auto messages = TCorrelationDecoder().DecodeImage(image);
        found = messages.size();
        benchmark::DoNotOptimize(messages.data());
    }
    state.counters["messages"] = static_cast<double>(found);
    state.counters["samples_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kSeconds * SampleRate,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CorrelationDecoder60s)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The same 60 s fed to the stream decoder in 20 ms blocks, as the line
// monitor feeds it. Target: under 2 % of one core at 44100/s (core_percent),
// and each message reported within 50 ms of its last bit (latency_ms: from the
// end of the burst to the end of the block that reported it).
void BM_StreamDecoder60s(benchmark::State& state) {
    const Bytes image = NoisyImage();
    std::vector<uint8_t> samples(image.begin() + WavHeaderSize, image.end());
    constexpr std::size_t kBlock = SampleRate / 50;
    TFskSynth synth;
    const std::size_t burstEnd =
        10 * SampleRate + SynthesiseImage(synth, ExampleMdmfMessage(), TSignalling::OnHook).size() -
        WavHeaderSize;
    double latency = -1;
    std::size_t found = 0;
    for (auto _ : state) {
        TStreamDecoder decoder(SampleRate);
        std::vector<TStreamEvent> events;
        found = 0;
        for (std::size_t at = 0; at < samples.size(); at += kBlock) {
            const std::size_t n = std::min(kBlock, samples.size() - at);
            decoder.Feed(std::span<const uint8_t>(samples.data() + at, n), events);
            if (found == 0 && !events.empty()) {
                latency = 1000.0 * (static_cast<double>(at + n) - static_cast<double>(burstEnd)) /
                          SampleRate;
            }
            found = events.size();
        }
        decoder.Finish(events);
        benchmark::DoNotOptimize(events.data());
    }
    state.counters["messages"] = static_cast<double>(found);
    state.counters["latency_ms"] = latency;
    // CPU seconds per iteration over the 60 s of audio, in percent
    state.counters["core_percent"] =
        benchmark::Counter(kSeconds / 100.0, benchmark::Counter::kIsIterationInvariantRate |
                                                 benchmark::Counter::kInvert);
}
BENCHMARK(BM_StreamDecoder60s)->Unit(benchmark::kMillisecond);

}  // namespace
