#include "generation/SignalImage.h"

#include "core/WavImage.h"

namespace ringlark {

Bytes SynthesiseImage(TFskSynth& synth, const Bytes& message, TSignalling signalling) {
    Bytes stream(WavHeaderSize, '\0');
    stream.reserve(WavHeaderSize + 30000 + message.size() * 368);
    if (signalling == TSignalling::OnHook) {
        synth.SendBytes(stream, Bytes(SeizureBytes, static_cast<char>(SeizureByte)));
        synth.MarkRun(stream, TFskSynth::LongMarkSamples);
    } else {
        synth.Tone440(stream);
        synth.DualTone(stream);
        synth.Silence(stream, 0.2);
        synth.MarkRun(stream, TFskSynth::ShortMarkSamples);
    }
    synth.SendBytes(stream, message);
    WriteWavHeader(stream);
    return stream;
}

}  // namespace ringlark
