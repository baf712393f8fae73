// Any file content: the loader accepts or refuses it, and whatever it accepts is
// analysed and inspected without fault.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "analyst/WaveformViewer.h"
#include "core/NullServices.h"
#include "decoding/ByteExtraction.h"
#include "decoding/StreamDecoder.h"
#include "decoding/fsk/CorrelationDecoder.h"
#include "decoding/tones/DtmfDecoder.h"
#include "inspection/Inspector.h"
#include "measurement/Measurements.h"
#include "protocol/DtmfCallerId.h"
#include "protocol/MessageRules.h"

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
        ringlark::TCorrelationDecoder v23 =
            ringlark::TCorrelationDecoder::For(ringlark::TCidStandard::EtsiV23);
        v23.IncludeUncertain = true;
        for (const auto& message : v23.Decode(samples, rate)) {
            if (!ringlark::CheckMessage(message.Message, ringlark::TCidStandard::EtsiV23).Passed) {
                __builtin_trap();
            }
        }
        // DTMF messages always have a caller-ID framing
        for (const auto& message : ringlark::DecodeDtmf(samples, rate)) {
            if (!ringlark::ParseDtmfDigits(message.Digits).Valid) {
                __builtin_trap();
            }
        }
        for (const auto& message : decoder.Decode(samples, rate)) {
            // the measurements of any message read never fault
            const auto measures =
                ringlark::MeasureFsk(samples, rate, message, ringlark::kBell202Tones);
            if (ringlark::CheckLimits(measures, "bell", -7.0).empty()) {
                __builtin_trap();
            }
            if (!ringlark::CheckMessage(message.Message).Passed ||
                (message.Uncertain && !ringlark::CheckMessage(message.Alternative).Passed) ||
                message.Quality < 0 || message.Quality > 1) {
                __builtin_trap();
            }
        }
    }
    // The same bytes as a stream at 8000 to 96000/s, in blocks whose sizes the
    // bytes choose; on odd inputs read as 32-bit floats (not-a-number and
    // infinities included). Every event is sound.
    if (size >= 4) {
        const double rate = 8000.0 + 88.0 * ((data[0] << 8 | data[1]) % 1001);
        std::vector<float> samples;
        if ((data[2] & 1) != 0) {
            samples.resize((size - 4) / 4);
            std::memcpy(samples.data(), data + 4, samples.size() * 4);
        } else {
            for (std::size_t i = 4; i < size; ++i) {
                samples.push_back((static_cast<float>(data[i]) - 128.0f) / 128.0f);
            }
        }
        ringlark::TStreamDecoder stream(rate, true);
        std::vector<ringlark::TStreamEvent> events;
        for (std::size_t at = 0, k = 0; at < samples.size(); ++k) {
            const std::size_t n =
                std::min<std::size_t>(1 + data[4 + k % (size - 4)] * 17u, samples.size() - at);
            stream.Feed(std::span<const float>(samples.data() + at, n), events);
            at += n;
        }
        stream.Finish(events);
        const double seconds = static_cast<double>(samples.size()) / rate;
        for (const auto& e : events) {
            const bool sound = e.Kind == ringlark::TStreamEvent::TKind::Message
                                   ? ringlark::CheckMessage(e.Message.Message).Passed
                                   : std::isfinite(e.Tone.LowHz) && std::isfinite(e.Tone.LowDbfs) &&
                                         e.Tone.Duration > 0 && e.Tone.Duration <= seconds + 0.02;
            if (!sound || !(e.Seconds() > -0.02 && e.Seconds() <= seconds)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
