// Building and synthesising the on-hook MDMF image for a 10-digit number and a
// 15-character name, with no output. Target: 20 million samples per second.
#include <benchmark/benchmark.h>

#include "core/WavImage.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"

namespace {

using namespace ringlark;

void BM_MdmfOnHookImage(benchmark::State& state) {
    TCidRequest request;
    request.Kind = TMessageKind::Mdmf;
    request.NumberText = "800-555-1212";
    request.NameText = "Johnathan Q Doe";
    request.DateText = "1207";
    request.TimeText = "0930";
    TFskSynth synth;
    std::size_t samples = 0;
    for (auto _ : state) {
        const Bytes message = BuildCidMessage(request, {});
        const Bytes image = SynthesiseImage(synth, message, TSignalling::OnHook);
        samples += image.size() - WavHeaderSize;
        benchmark::DoNotOptimize(image.data());
    }
    state.counters["samples_per_second"] =
        benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MdmfOnHookImage)->Unit(benchmark::kMicrosecond);

}  // namespace
