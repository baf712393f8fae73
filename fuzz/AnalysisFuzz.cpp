// Any file content: the loader accepts or refuses it, and whatever it accepts is
// analysed and inspected without fault.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/ByteExtraction.h"
#include "analysis/CorrelationDecoder.h"
#include "analysis/WaveformViewer.h"
#include "core/NullServices.h"
#include "inspection/Inspector.h"
#include "inspection/MessageRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ringlark::TCancelledFileDialog dialog;
    ringlark::TSilentNotices notices;
    ringlark::TNoProgress progress;
    ringlark::TSilentSound sound;
    ringlark::TWaveformViewer viewer(dialog, notices, progress, sound);
    if (viewer.LoadFileBytes(std::string(reinterpret_cast<const char*>(data), size)) ==
        ringlark::TLoadResult::Loaded) {
        const auto result = viewer.Analyzer.AutoAnalyze(viewer.LoadedImage);
        ringlark::BuildInspector(result.Text);
        if (viewer.SampleByteCount != static_cast<int32_t>(viewer.LoadedImage.size() - 44)) {
            __builtin_trap();
        }
    }
    // Method 3 on the raw bytes as float samples at a rate taken from them, as
    // the command line reads any sound file.
    if (size >= 2) {
        std::vector<float> samples(size - 2);
        for (std::size_t i = 2; i < size; ++i) {
            samples[i - 2] = (static_cast<float>(data[i]) - 128.0f) / 128.0f;
        }
        const double rate = 4000.0 + 200.0 * ((data[0] << 8 | data[1]) % 1000);
        // Every message reported passes every rule of the message; an
        // uncertain one has another reading that does too.
        ringlark::TCorrelationDecoder decoder;
        decoder.IncludeUncertain = true;
        for (const auto& message : decoder.Decode(samples, rate)) {
            if (!ringlark::CheckMessage(message.Message).Passed ||
                (message.Uncertain && !ringlark::CheckMessage(message.Alternative).Passed) ||
                message.Quality < 0 || message.Quality > 1) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
