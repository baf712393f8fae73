// batch_bench [files] [seconds]: files per second of the batch analysis with 1
// and with 2 jobs, over one-minute recordings (by default) that it writes to a
// temporary folder first: each holds an MDMF burst at a random place in
// silence, at 11025 samples per second (a tenth of them at 44100).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/batch/BatchAnalysis.h"
#include "core/FileWriting.h"
#include "core/WavImage.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "tests/support/TestSignals.h"

int main(int argc, char** argv) {
    using namespace ringlark;
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 60.0;
    const auto folder = std::filesystem::temp_directory_path() / "ringlark-batch-bench";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        const bool full = i % 10 == 0;
        const int rate = full ? 44100 : 11025;
        TFskSynth synth;
        std::vector<float> burst =
            ImageSamples(SynthesiseImage(synth, RandomMdmfMessage(i + 1), TSignalling::OnHook));
        if (!full) {
            burst = Downsample(burst, 4);
        }
        std::vector<float> samples(static_cast<std::size_t>(seconds * rate), 0.0f);
        const std::size_t at = static_cast<std::size_t>(i * 7919) % (samples.size() / 2);
        for (std::size_t k = 0; k < burst.size() && at + k < samples.size(); ++k) {
            samples[at + k] = burst[k];
        }
        files.push_back((folder / ("r" + std::to_string(1000000 + i) + ".wav")).string());
        WriteFileReplacing(files.back(), SamplesImage(samples, static_cast<uint32_t>(rate)));
    }
    double rates[2] = {0, 0};
    for (unsigned jobs : {1u, 2u}) {
        int decoded = 0;
        const auto start = std::chrono::steady_clock::now();
        cli::AnalyzeBatch(files, jobs, false, [&](const cli::TBatchResult& result, std::size_t) {
            decoded += result.Status == cli::TBatchStatus::Decoded ? 1 : 0;
        });
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rates[jobs - 1] = count / elapsed;
        std::printf("%u job%s: %d files in %.1f s, %.1f files/s, %d decoded\n", jobs,
                    jobs == 1 ? "" : "s", count, elapsed, rates[jobs - 1], decoded);
    }
    std::printf("2 jobs / 1 job: %.2f\n", rates[1] / rates[0]);
    std::filesystem::remove_all(folder);
    return 0;
}
